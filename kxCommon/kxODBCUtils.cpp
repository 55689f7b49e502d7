#include "kxCommon/kxODBCUtils.h"

namespace kxODBCUtils {

using namespace kxODBC;

SQLHENV OdbcEnv = nullptr;

void InitOdbcEnvironment(const QString& libraryName)
{
    if (OdbcEnv)
        return;
    LoadOdbc(libraryName);
    if (OdbcEntries.SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &OdbcEnv) != SQL_SUCCESS)
        return;
    try {
        OdbcEntries.SQLSetEnvAttr(OdbcEnv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                                  0);
    } catch (...) {
        FreeOdbcEnvironment();
        throw;
    }
}

void InitOdbcEnvironment() { InitOdbcEnvironment(OdbcLibraryName); }

void FreeOdbcEnvironment()
{
    if (!OdbcEnv)
        return;
    // Only reachable without the entry if the library went first.
    if (OdbcEntries.SQLFreeHandle)
        OdbcEntries.SQLFreeHandle(SQL_HANDLE_ENV, OdbcEnv);
    OdbcEnv = nullptr;
}

void Initialize() { InitOdbcEnvironment(); }

void Finalize() { FreeOdbcEnvironment(); }

}  // namespace kxODBCUtils
