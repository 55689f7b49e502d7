#include "platform/DynamicLibrary.h"

#include <QFile>

#include <dlfcn.h>

namespace platform {

namespace {

thread_local QString t_lastError;

// dlerror() is cleared on reading, so each failure is kept at once.
void keepError(const char* fallback)
{
    const char* text = dlerror();
    t_lastError = QString::fromLocal8Bit(text ? text : fallback);
}

}  // namespace

LibraryHandle openLibrary(const QString& name)
{
    if (name.isEmpty()) {
        t_lastError = QStringLiteral("empty library name");
        return nullptr;
    }
    dlerror();
    void* handle = dlopen(QFile::encodeName(name).constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle)
        keepError("cannot open library");
    return handle;
}

void* librarySymbol(LibraryHandle library, const char* name)
{
    if (!library) {
        t_lastError = QStringLiteral("invalid library handle");
        return nullptr;
    }
    dlerror();
    void* address = dlsym(library, name);
    if (!address)
        keepError("symbol not found");
    return address;
}

bool closeLibrary(LibraryHandle library)
{
    if (!library) {
        t_lastError = QStringLiteral("invalid library handle");
        return false;
    }
    dlerror();
    if (dlclose(library) != 0) {
        keepError("cannot release library");
        return false;
    }
    return true;
}

QString lastLibraryError() { return t_lastError; }

}  // namespace platform
