#include "kxCommon/kxODBCUtils.h"

#include <gtest/gtest.h>

using kxODBC::EOdbcError;
using kxODBC::OdbcModule;
using kxODBC::SQL_ATTR_ODBC_VERSION;
using kxODBC::SQL_SUCCESS;
using kxODBC::SQLHENV;
using kxODBC::SQLINTEGER;
using kxODBC::SQLPOINTER;
using kxODBC::SQLRETURN;
using namespace kxODBCUtils;

namespace {

// The stub's own steering and inspection calls, through a second reference
// to the library the binding opens.
struct OdbcStub {
    platform::LibraryHandle handle = platform::openLibrary(QStringLiteral(ODBC_STUB));
    void (*reset)(SQLRETURN) = reinterpret_cast<void (*)(SQLRETURN)>(symbol("odbc_stub_reset"));
    int (*liveEnvs)() = reinterpret_cast<int (*)()>(symbol("odbc_stub_live_envs"));
    long (*envVersion)() = reinterpret_cast<long (*)()>(symbol("odbc_stub_env_version"));

    void* symbol(const char* name)
    {
        void* address = platform::librarySymbol(handle, name);
        if (!address)
            throw std::runtime_error(name);
        return address;
    }
    ~OdbcStub() { platform::closeLibrary(handle); }
};

class OdbcEnvironment : public ::testing::Test {
protected:
    void TearDown() override
    {
        kxODBCUtils::Finalize();
        kxODBC::Finalize();
    }
};

}  // namespace

TEST_F(OdbcEnvironment, AllocatesOneOdbc3EnvironmentAndFreesIt)
{
    OdbcStub stub;
    stub.reset(SQL_SUCCESS);
    InitOdbcEnvironment(QStringLiteral(ODBC_STUB));
    ASSERT_NE(OdbcEnv, nullptr);
    EXPECT_EQ(stub.liveEnvs(), 1);
    EXPECT_EQ(stub.envVersion(), 3);

    InitOdbcEnvironment(QStringLiteral(ODBC_STUB));
    EXPECT_EQ(stub.liveEnvs(), 1);

    FreeOdbcEnvironment();
    EXPECT_EQ(OdbcEnv, nullptr);
    EXPECT_EQ(stub.liveEnvs(), 0);
    FreeOdbcEnvironment();
    EXPECT_EQ(stub.liveEnvs(), 0);
}

TEST_F(OdbcEnvironment, FailedAllocationGoesOnWithoutTheVersion)
{
    OdbcStub stub;
    stub.reset(-1);
    EXPECT_NO_THROW(InitOdbcEnvironment(QStringLiteral(ODBC_STUB)));
    EXPECT_EQ(OdbcEnv, nullptr);
    EXPECT_EQ(stub.envVersion(), 0);
    EXPECT_NE(OdbcModule, nullptr);
}

TEST_F(OdbcEnvironment, MissingDriverManagerEndsStartUp)
{
    EXPECT_THROW(InitOdbcEnvironment(QStringLiteral("/nonexistent/libodbc.so.2")), EOdbcError);
    EXPECT_THROW(InitOdbcEnvironment(QStringLiteral(ODBC_STUB_MISSING)), EOdbcError);
    EXPECT_EQ(OdbcEnv, nullptr);
    EXPECT_EQ(OdbcModule, nullptr);
}

TEST_F(OdbcEnvironment, RealDriverManagerGivesAnOdbc3Environment)
{
    kxODBC::Initialize();
    kxODBCUtils::Initialize();
    ASSERT_NE(OdbcEnv, nullptr);

    // Not one of the 40, so asked of the library directly.
    using GetEnvAttr = SQLRETURN (*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);
    auto getEnvAttr = reinterpret_cast<GetEnvAttr>(platform::librarySymbol(OdbcModule, "SQLGetEnvAttr"));
    ASSERT_NE(getEnvAttr, nullptr);
    SQLINTEGER version = 0;
    EXPECT_EQ(getEnvAttr(OdbcEnv, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(version, 3);

    kxODBCUtils::Finalize();
    EXPECT_EQ(OdbcEnv, nullptr);
    kxODBC::Finalize();
    EXPECT_EQ(OdbcModule, nullptr);
}
