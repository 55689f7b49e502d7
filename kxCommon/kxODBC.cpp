#include "kxCommon/kxODBC.h"

namespace kxODBC {

platform::LibraryHandle OdbcModule = nullptr;
OdbcEntryTable OdbcEntries;

namespace {

[[noreturn]] void raise(const QString& message) { throw EOdbcError(message.toStdString()); }

void release()
{
    (void)platform::closeLibrary(OdbcModule);
    OdbcModule = nullptr;
    OdbcEntries = OdbcEntryTable {};
}

}  // namespace

void LoadOdbc(const QString& libraryName)
{
    if (OdbcModule)
        return;
    OdbcModule = platform::openLibrary(libraryName);
    if (!OdbcModule)
        raise(platform::lastLibraryError());
    try {
#define KX_ODBC_RESOLVE(name, params)                                                                        \
    OdbcEntries.name = reinterpret_cast<decltype(OdbcEntries.name)>(GetOdbcProc(QStringLiteral(#name)));
        KX_ODBC_FUNCTIONS(KX_ODBC_RESOLVE)
#undef KX_ODBC_RESOLVE
    } catch (...) {
        // A half-resolved table must not pass for a loaded one on the next call.
        release();
        throw;
    }
}

void LoadOdbc() { LoadOdbc(OdbcLibraryName); }

void* GetOdbcProc(const QString& Name)
{
    void* address = platform::librarySymbol(OdbcModule, Name.toUtf8().constData());
    if (!address)
        raise(QStringLiteral("Error Getting adress for ") + Name + QChar(13) + platform::lastLibraryError());
    return address;
}

void UnloadOdbc()
{
    if (OdbcModule)
        release();
}

void Initialize() {}

void Finalize() { UnloadOdbc(); }

}  // namespace kxODBC
