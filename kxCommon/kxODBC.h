#pragma once
// The ODBC binding: the driver manager is loaded once and 40 of its
// functions are resolved into a table. A missing library or function ends
// start-up with the exception's message.

#include "platform/DynamicLibrary.h"

#include <QString>

#include <array>
#include <cstdint>
#include <stdexcept>

namespace kxODBC {

// The ODBC types, as the driver manager is built on LP64 (its lengths and
// row numbers are 64 bits wide there).
using SQLCHAR = unsigned char;
using SQLSMALLINT = int16_t;
using SQLUSMALLINT = uint16_t;
using SQLINTEGER = int32_t;
using SQLLEN = long;
using SQLULEN = unsigned long;
using SQLRETURN = SQLSMALLINT;
using SQLPOINTER = void*;
using SQLHANDLE = void*;
using SQLHENV = SQLHANDLE;
using SQLHDBC = SQLHANDLE;
using SQLHSTMT = SQLHANDLE;
using SQLHWND = void*;

inline constexpr SQLRETURN SQL_SUCCESS = 0;
inline constexpr SQLSMALLINT SQL_HANDLE_ENV = 1;
inline constexpr SQLINTEGER SQL_ATTR_ODBC_VERSION = 200;
inline constexpr SQLULEN SQL_OV_ODBC3 = 3;

// The 40 functions, in the order they are resolved: name, result, parameters.
#define KX_ODBC_FUNCTIONS(X)                                                                                 \
    X(SQLAllocHandle, (SQLSMALLINT, SQLHANDLE, SQLHANDLE*))                                                  \
    X(SQLSetEnvAttr, (SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER))                                          \
    X(SQLFreeHandle, (SQLSMALLINT, SQLHANDLE))                                                               \
    X(SQLGetInfo, (SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*))                            \
    X(SQLProcedures, (SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT))        \
    X(SQLColumns,                                                                                            \
      (SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,              \
       SQLSMALLINT))                                                                                         \
    X(SQLSpecialColumns,                                                                                     \
      (SQLHSTMT, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,          \
       SQLUSMALLINT, SQLUSMALLINT))                                                                          \
    X(SQLGetDiagRec,                                                                                         \
      (SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*))     \
    X(SQLConnect, (SQLHDBC, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT))            \
    X(SQLDisconnect, (SQLHDBC))                                                                              \
    X(SQLDriverConnect,                                                                                      \
      (SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLUSMALLINT))          \
    X(SQLExecDirect, (SQLHSTMT, SQLCHAR*, SQLINTEGER))                                                       \
    X(SQLPrepare, (SQLHSTMT, SQLCHAR*, SQLINTEGER))                                                          \
    X(SQLCloseCursor, (SQLHSTMT))                                                                            \
    X(SQLExecute, (SQLHSTMT))                                                                                \
    X(SQLFetch, (SQLHSTMT))                                                                                  \
    X(SQLNumResultCols, (SQLHSTMT, SQLSMALLINT*))                                                            \
    X(SQLDescribeCol,                                                                                        \
      (SQLHSTMT, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*, SQLULEN*, SQLSMALLINT*,    \
       SQLSMALLINT*))                                                                                        \
    X(SQLFetchScroll, (SQLHSTMT, SQLSMALLINT, SQLLEN))                                                       \
    X(SQLExtendedFetch, (SQLHSTMT, SQLUSMALLINT, SQLLEN, SQLULEN*, SQLUSMALLINT*))                           \
    X(SQLGetData, (SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*))                        \
    X(SQLSetStmtAttr, (SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER))                                        \
    X(SQLGetStmtAttr, (SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*))                           \
    X(SQLBulkOperations, (SQLHSTMT, SQLSMALLINT))                                                            \
    X(SQLPutData, (SQLHSTMT, SQLPOINTER, SQLLEN))                                                            \
    X(SQLBindCol, (SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*))                        \
    X(SQLSetPos, (SQLHSTMT, SQLULEN, SQLUSMALLINT, SQLUSMALLINT))                                            \
    X(SQLDataSources,                                                                                        \
      (SQLHENV, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*))     \
    X(SQLDrivers,                                                                                            \
      (SQLHENV, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*))     \
    X(SQLSetConnectAttr, (SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER))                                      \
    X(SQLGetCursorName, (SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*))                                     \
    X(SQLSetCursorName, (SQLHSTMT, SQLCHAR*, SQLSMALLINT))                                                   \
    X(SQLRowCount, (SQLHSTMT, SQLLEN*))                                                                      \
    X(SQLBindParameter,                                                                                      \
      (SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN, SQLSMALLINT, SQLPOINTER,      \
       SQLLEN, SQLLEN*))                                                                                     \
    X(SQLFreeStmt, (SQLHSTMT, SQLUSMALLINT))                                                                 \
    X(SQLColAttribute,                                                                                       \
      (SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*, SQLLEN*))                \
    X(SQLEndTran, (SQLSMALLINT, SQLHANDLE, SQLSMALLINT))                                                     \
    X(SQLTables,                                                                                             \
      (SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,              \
       SQLSMALLINT))                                                                                         \
    X(SQLPrimaryKeys, (SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT))       \
    X(SQLProcedureColumns,                                                                                   \
      (SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,              \
       SQLSMALLINT))

struct OdbcEntryTable {
#define KX_ODBC_ENTRY(name, params) SQLRETURN(*name) params = nullptr;
    KX_ODBC_FUNCTIONS(KX_ODBC_ENTRY)
#undef KX_ODBC_ENTRY
};

inline constexpr std::array OdbcProcNames = {
#define KX_ODBC_NAME(name, params) #name,
    KX_ODBC_FUNCTIONS(KX_ODBC_NAME)
#undef KX_ODBC_NAME
};
static_assert(OdbcProcNames.size() == 40);

// unixODBC's driver manager.
inline const QString OdbcLibraryName = QStringLiteral("libodbc.so.2");

class EOdbcError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

extern platform::LibraryHandle OdbcModule;
extern OdbcEntryTable OdbcEntries;

// Loads the library once and resolves the 40 functions; raises EOdbcError
// with the system's text when the library cannot be opened, or with
// GetOdbcProc's message. After a failure nothing stays loaded.
void LoadOdbc(const QString& libraryName);
void LoadOdbc();

// The address of a function of the loaded library; raises EOdbcError
// ("Error Getting adress for " Name CR error text) when it is missing.
void* GetOdbcProc(const QString& Name);

// Releases the library. A failed release is ignored: it only happens at
// exit, where nothing could act on it.
void UnloadOdbc();

// Start-up and exit steps of this unit.
void Initialize();
void Finalize();

}  // namespace kxODBC
