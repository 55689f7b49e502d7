#include "kxCommon/kxXP.h"

#include <gtest/gtest.h>

using namespace kxXP;
using platform::OsVersion;

namespace {

const OsVersion kXP {true, 5, 1};

class ThemeApi : public ::testing::Test {
protected:
    void TearDown() override { UnloadThemeApi(); }
};

void expectTableEmpty()
{
#define KX_EXPECT_NULL(name) EXPECT_EQ(ThemeEntries.name, nullptr) << #name;
    KX_THEME_FUNCTIONS(KX_EXPECT_NULL)
#undef KX_EXPECT_NULL
}

}  // namespace

TEST(IsWinXPOrLater, NeedsTheNtLineAtVersion51OrLater)
{
    struct Case {
        OsVersion version;
        bool expected;
    };
    const Case cases[] = {
        {{true, 4, 90}, false}, {{true, 5, 0}, false}, {{true, 5, 1}, true},   {{true, 5, 2}, true},
        {{true, 6, 0}, true},   {{true, 10, 0}, true}, {{false, 5, 1}, false}, {{false, 6, 1}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsWinXPOrLater(c.version), c.expected)
            << c.version.ntLine << " " << c.version.major << "." << c.version.minor;
    EXPECT_FALSE(IsWinXPOrLater());
}

TEST_F(ThemeApi, OlderSystemsDoNotEvenTryTheLibrary)
{
    for (const OsVersion& older : {OsVersion {true, 5, 0}, OsVersion {false, 6, 1}}) {
        LoadThemeApi(QStringLiteral(THEME_STUB), older);
        EXPECT_FALSE(ThemeApiLoaded);
        EXPECT_EQ(ThemeModule, nullptr);
    }
    Initialize();  // the platform's own answer: not XP or later
    EXPECT_FALSE(ThemeApiLoaded);
    Finalize();
}

TEST_F(ThemeApi, MissingLibraryLeavesTheBindingUnloadedSilently)
{
    EXPECT_NO_THROW(LoadThemeApi(QStringLiteral("/nonexistent/uxtheme.so"), kXP));
    EXPECT_FALSE(ThemeApiLoaded);
    EXPECT_EQ(ThemeModule, nullptr);
    expectTableEmpty();
}

TEST_F(ThemeApi, ResolvesEveryEntryToItsOwnFunctionOnceAndReleases)
{
    LoadThemeApi(QStringLiteral(THEME_STUB), kXP);
    ASSERT_TRUE(ThemeApiLoaded);
    ASSERT_NE(ThemeModule, nullptr);
#define KX_EXPECT_RESOLVED(name)                                                                             \
    EXPECT_NE(ThemeEntries.name, nullptr) << #name;                                                          \
    EXPECT_EQ(reinterpret_cast<void*>(ThemeEntries.name), platform::librarySymbol(ThemeModule, #name))       \
        << #name;
    KX_THEME_FUNCTIONS(KX_EXPECT_RESOLVED)
#undef KX_EXPECT_RESOLVED

    const platform::LibraryHandle first = ThemeModule;
    LoadThemeApi(QStringLiteral("/nonexistent/uxtheme.so"), kXP);
    EXPECT_EQ(ThemeModule, first);

    UnloadThemeApi();
    EXPECT_FALSE(ThemeApiLoaded);
    EXPECT_EQ(ThemeModule, nullptr);
    expectTableEmpty();
    UnloadThemeApi();  // nothing left to release
}

TEST_F(ThemeApi, MissingFunctionIsAnAssertionFailureThatLeavesNothingLoaded)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            LoadThemeApi(QStringLiteral(THEME_STUB_MISSING), kXP);
            FAIL() << "no assertion failure on attempt " << attempt;
        } catch (const EAssertionFailed& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with("Assertion failure (kxCommon/kxXP")) << e.what();
        }
        EXPECT_FALSE(ThemeApiLoaded);
        EXPECT_EQ(ThemeModule, nullptr);
        expectTableEmpty();
    }
}
