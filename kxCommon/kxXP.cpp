#include "kxCommon/kxXP.h"

#include <string>

namespace kxXP {

bool ThemeApiLoaded = false;
platform::LibraryHandle ThemeModule = nullptr;
ThemeEntryTable ThemeEntries;

namespace {

void releaseModule()
{
    // Nothing can act on a failed release here.
    (void)platform::closeLibrary(ThemeModule);
    ThemeModule = nullptr;
    ThemeEntries = ThemeEntryTable {};
    ThemeApiLoaded = false;
}

ThemeProc resolve(const char* name, int line)
{
    void* address = platform::librarySymbol(ThemeModule, name);
    if (!address) {
        // A half-bound table would look loaded to a second call.
        releaseModule();
        throw EAssertionFailed("Assertion failure (kxCommon/kxXP.cpp, line " + std::to_string(line) + ")");
    }
    return reinterpret_cast<ThemeProc>(address);
}

}  // namespace

bool IsWinXPOrLater(const platform::OsVersion& version)
{
    return version.ntLine && (version.major > 5 || (version.major == 5 && version.minor >= 1));
}

bool IsWinXPOrLater() { return IsWinXPOrLater(platform::osVersion()); }

void LoadThemeApi(const QString& libraryName, const platform::OsVersion& version)
{
    if (ThemeApiLoaded || !IsWinXPOrLater(version))
        return;
    ThemeModule = platform::openLibrary(libraryName);
    if (!ThemeModule) {
        ThemeApiLoaded = false;
        return;
    }
    ThemeApiLoaded = true;
#define KX_THEME_RESOLVE(name) ThemeEntries.name = resolve(#name, __LINE__);
    KX_THEME_FUNCTIONS(KX_THEME_RESOLVE)
#undef KX_THEME_RESOLVE
}

void LoadThemeApi() { LoadThemeApi(ThemeLibraryName, platform::osVersion()); }

void UnloadThemeApi()
{
    if (ThemeApiLoaded)
        releaseModule();
}

void Initialize() { LoadThemeApi(); }

void Finalize() { UnloadThemeApi(); }

}  // namespace kxXP
