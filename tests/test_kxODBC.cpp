#include "kxCommon/kxODBC.h"

#include <gtest/gtest.h>

using namespace kxODBC;

namespace {

class OdbcBinding : public ::testing::Test {
protected:
    void TearDown() override { UnloadOdbc(); }
};

void expectNothingLoaded()
{
    EXPECT_EQ(OdbcModule, nullptr);
#define KX_EXPECT_NULL(name, params) EXPECT_EQ(OdbcEntries.name, nullptr) << #name;
    KX_ODBC_FUNCTIONS(KX_EXPECT_NULL)
#undef KX_EXPECT_NULL
}

std::string loadError(const QString& library)
{
    try {
        LoadOdbc(library);
    } catch (const EOdbcError& e) {
        return e.what();
    }
    return {};
}

}  // namespace

TEST_F(OdbcBinding, MissingLibraryRaisesTheSystemText)
{
    const std::string message = loadError(QStringLiteral("/nonexistent/libodbc.so.2"));
    EXPECT_NE(message.find("/nonexistent/libodbc.so.2"), std::string::npos) << message;
    EXPECT_NE(message.find("No such file"), std::string::npos) << message;
    expectNothingLoaded();
}

TEST_F(OdbcBinding, MissingFunctionIsNamedAndNothingStaysHalfLoaded)
{
    // Twice: a failed load must not pass for a loaded library the next time.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::string message = loadError(QStringLiteral(ODBC_STUB_MISSING));
        const std::string head = "Error Getting adress for SQLProcedureColumns\r";
        ASSERT_TRUE(message.starts_with(head)) << message;
        EXPECT_NE(message.find("SQLProcedureColumns", head.size()), std::string::npos) << message;
        expectNothingLoaded();
    }
}

TEST_F(OdbcBinding, ResolvesEveryEntryToItsOwnFunctionOnceAndReleases)
{
    LoadOdbc(QStringLiteral(ODBC_STUB));
    ASSERT_NE(OdbcModule, nullptr);
#define KX_EXPECT_RESOLVED(name, params)                                                                     \
    EXPECT_EQ(reinterpret_cast<void*>(OdbcEntries.name), platform::librarySymbol(OdbcModule, #name))         \
        << #name;                                                                                            \
    EXPECT_NE(OdbcEntries.name, nullptr) << #name;
    KX_ODBC_FUNCTIONS(KX_EXPECT_RESOLVED)
#undef KX_EXPECT_RESOLVED

    const platform::LibraryHandle first = OdbcModule;
    LoadOdbc(QStringLiteral("/nonexistent/libodbc.so.2"));  // already loaded: no-op
    EXPECT_EQ(OdbcModule, first);

    EXPECT_EQ(GetOdbcProc(QStringLiteral("SQLTables")), reinterpret_cast<void*>(OdbcEntries.SQLTables));
    try {
        GetOdbcProc(QStringLiteral("SQLNoSuchCall"));
        FAIL() << "no exception";
    } catch (const EOdbcError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("Error Getting adress for SQLNoSuchCall\r"))
            << e.what();
    }

    Finalize();
    expectNothingLoaded();
    UnloadOdbc();  // nothing left to release
}

TEST_F(OdbcBinding, LookupWithoutALoadedLibraryFails)
{
    // Never falls back to the process's own symbols.
    EXPECT_THROW(GetOdbcProc(QStringLiteral("malloc")), EOdbcError);
}
