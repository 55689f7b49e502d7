/* A stand-in ODBC driver manager for the binding's tests: it exports the 40
 * functions the binding resolves (SQLProcedureColumns only without
 * ODBC_STUB_OMIT_PROCEDURE_COLUMNS), implements the environment calls and
 * lets the test steer and inspect them through odbc_stub_* functions. */

#include <stdint.h>

typedef int16_t SQLRETURN;

static SQLRETURN alloc_result = 0;
static int live_envs = 0;
static long env_version = 0;
static int env_storage;

void odbc_stub_reset(SQLRETURN alloc_rc)
{
    alloc_result = alloc_rc;
    live_envs = 0;
    env_version = 0;
}
int odbc_stub_live_envs(void) { return live_envs; }
long odbc_stub_env_version(void) { return env_version; }

SQLRETURN SQLAllocHandle(int16_t type, void* input, void** output)
{
    (void)input;
    if (type != 1 || alloc_result != 0) {
        *output = 0;
        return alloc_result ? alloc_result : -1;
    }
    *output = &env_storage;
    ++live_envs;
    return 0;
}

SQLRETURN SQLSetEnvAttr(void* env, int32_t attribute, void* value, int32_t length)
{
    (void)length;
    if (env != &env_storage)
        return -2;
    if (attribute == 200)
        env_version = (long)(intptr_t)value;
    return 0;
}

SQLRETURN SQLFreeHandle(int16_t type, void* handle)
{
    if (type != 1 || handle != &env_storage || live_envs == 0)
        return -2;
    --live_envs;
    return 0;
}

#define UNUSED_ENTRY(name)                                                                                   \
    SQLRETURN name(void) { return -1; }

UNUSED_ENTRY(SQLGetInfo)
UNUSED_ENTRY(SQLProcedures)
UNUSED_ENTRY(SQLColumns)
UNUSED_ENTRY(SQLSpecialColumns)
UNUSED_ENTRY(SQLGetDiagRec)
UNUSED_ENTRY(SQLConnect)
UNUSED_ENTRY(SQLDisconnect)
UNUSED_ENTRY(SQLDriverConnect)
UNUSED_ENTRY(SQLExecDirect)
UNUSED_ENTRY(SQLPrepare)
UNUSED_ENTRY(SQLCloseCursor)
UNUSED_ENTRY(SQLExecute)
UNUSED_ENTRY(SQLFetch)
UNUSED_ENTRY(SQLNumResultCols)
UNUSED_ENTRY(SQLDescribeCol)
UNUSED_ENTRY(SQLFetchScroll)
UNUSED_ENTRY(SQLExtendedFetch)
UNUSED_ENTRY(SQLGetData)
UNUSED_ENTRY(SQLSetStmtAttr)
UNUSED_ENTRY(SQLGetStmtAttr)
UNUSED_ENTRY(SQLBulkOperations)
UNUSED_ENTRY(SQLPutData)
UNUSED_ENTRY(SQLBindCol)
UNUSED_ENTRY(SQLSetPos)
UNUSED_ENTRY(SQLDataSources)
UNUSED_ENTRY(SQLDrivers)
UNUSED_ENTRY(SQLSetConnectAttr)
UNUSED_ENTRY(SQLGetCursorName)
UNUSED_ENTRY(SQLSetCursorName)
UNUSED_ENTRY(SQLRowCount)
UNUSED_ENTRY(SQLBindParameter)
UNUSED_ENTRY(SQLFreeStmt)
UNUSED_ENTRY(SQLColAttribute)
UNUSED_ENTRY(SQLEndTran)
UNUSED_ENTRY(SQLTables)
UNUSED_ENTRY(SQLPrimaryKeys)
#ifndef ODBC_STUB_OMIT_PROCEDURE_COLUMNS
UNUSED_ENTRY(SQLProcedureColumns)
#endif
