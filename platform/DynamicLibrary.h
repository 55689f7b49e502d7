#pragma once
// Shared libraries loaded at run time: open by name, look up an exported
// function, release. Failures leave their text for lastLibraryError(), the
// way a system error code would be kept for the caller to report.

#include <QString>

namespace platform {

// An opened library; nullptr stands for "none".
using LibraryHandle = void*;

// Opens a library by file name (searched on the usual library path) or by
// path, binding all its symbols now. nullptr on failure.
LibraryHandle openLibrary(const QString& name);

// The address of an exported symbol; nullptr when the library lacks it or
// the handle is nullptr (which never searches the process's global scope).
void* librarySymbol(LibraryHandle library, const char* name);

// Releases one reference to the library; false when the release failed.
// The code and data stay mapped until the process ends: libraries keep
// state of their own in static storage (the ODBC driver manager caches its
// configuration there and never frees it), and nothing is gained by
// unmapping what is only released at exit.
bool closeLibrary(LibraryHandle library);

// The text of the last failure of the calls above on this thread.
QString lastLibraryError();

}  // namespace platform
