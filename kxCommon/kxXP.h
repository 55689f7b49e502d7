#pragma once
// The visual-styles binding: on Windows XP or later the visual-styles
// library is loaded at start-up and 45 of its functions are resolved. On
// Linux the version check says "not XP or later", so nothing is loaded; the
// loading logic stays whole for a library name and version given to it.

#include "platform/DynamicLibrary.h"
#include "platform/OsVersion.h"

#include <QString>

#include <array>
#include <stdexcept>

namespace kxXP {

// An entry of the table; callers cast it to the function's own signature.
using ThemeProc = void (*)();

// The 45 functions, in the order they are resolved.
// clang-format off
#define KX_THEME_FUNCTIONS(X)                                                              \
    X(OpenThemeData) X(CloseThemeData) X(DrawThemeBackground) X(DrawThemeText)             \
    X(GetThemeBackgroundContentRect) X(GetThemeBackgroundExtent) X(GetThemeTextExtent)     \
    X(GetThemeTextMetrics) X(GetThemeBackgroundRegion) X(HitTestThemeBackground)           \
    X(DrawThemeEdge) X(DrawThemeIcon) X(IsThemePartDefined)                                \
    X(IsThemeBackgroundPartiallyTransparent) X(GetThemeColor) X(GetThemeMetric)            \
    X(GetThemeString) X(GetThemeBool) X(GetThemeInt) X(GetThemeEnumValue)                  \
    X(GetThemePosition) X(GetThemeFont) X(GetThemeRect) X(GetThemeMargins)                 \
    X(GetThemeIntList) X(SetWindowTheme) X(GetThemeFilename) X(GetThemeSysColor)           \
    X(GetThemeSysColorBrush) X(GetThemeSysBool) X(GetThemeSysSize) X(GetThemeSysFont)      \
    X(GetThemeSysString) X(GetThemeSysInt) X(IsThemeActive) X(IsAppThemed)                 \
    X(GetWindowTheme) X(EnableThemeDialogTexture) X(IsThemeDialogTextureEnabled)           \
    X(GetThemeAppProperties) X(SetThemeAppProperties) X(GetCurrentThemeName)               \
    X(GetThemeDocumentationProperty) X(DrawThemeParentBackground) X(EnableTheming)
// clang-format on

struct ThemeEntryTable {
#define KX_THEME_ENTRY(name) ThemeProc name = nullptr;
    KX_THEME_FUNCTIONS(KX_THEME_ENTRY)
#undef KX_THEME_ENTRY
};

inline constexpr std::array ThemeProcNames = {
#define KX_THEME_NAME(name) #name,
    KX_THEME_FUNCTIONS(KX_THEME_NAME)
#undef KX_THEME_NAME
};
static_assert(ThemeProcNames.size() == 45);

inline const QString ThemeLibraryName = QStringLiteral("UXTHEME.DLL");

// Raised when a loaded library lacks one of the 45 functions.
class EAssertionFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

extern bool ThemeApiLoaded;
extern platform::LibraryHandle ThemeModule;
extern ThemeEntryTable ThemeEntries;

// The NT line at version 5.1 or later.
bool IsWinXPOrLater(const platform::OsVersion& version);
bool IsWinXPOrLater();

// Loads the library and resolves the table once. A library that cannot be
// opened (or an older system) leaves the binding unloaded, silently; a
// missing function raises EAssertionFailed and leaves nothing loaded.
void LoadThemeApi(const QString& libraryName, const platform::OsVersion& version);
void LoadThemeApi();

// Releases the library when it is loaded.
void UnloadThemeApi();

// Start-up and exit steps of this unit.
void Initialize();
void Finalize();

}  // namespace kxXP
