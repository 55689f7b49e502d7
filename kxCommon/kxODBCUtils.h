#pragma once
// The program's one ODBC 3 environment, allocated at start-up.

#include "kxCommon/kxODBC.h"

namespace kxODBCUtils {

extern kxODBC::SQLHENV OdbcEnv;

// Loads the binding and allocates the environment once. An allocation that
// does not succeed leaves the version attribute unset, silently.
void InitOdbcEnvironment(const QString& libraryName);
void InitOdbcEnvironment();

// Frees the environment when there is one.
void FreeOdbcEnvironment();

// Start-up and exit steps of this unit; its exit step runs before
// kxODBC's, which releases the library.
void Initialize();
void Finalize();

}  // namespace kxODBCUtils
