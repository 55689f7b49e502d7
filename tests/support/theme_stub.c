/* A stand-in visual-styles library for the binding's tests: it exports the
 * 45 functions the binding resolves (EnableTheming, the last one, only
 * without THEME_STUB_OMIT_ENABLE_THEMING). None is ever called. */

#define ENTRY(name)                                                                                          \
    void name(void) {}

// clang-format off
ENTRY(OpenThemeData) ENTRY(CloseThemeData) ENTRY(DrawThemeBackground) ENTRY(DrawThemeText)
ENTRY(GetThemeBackgroundContentRect) ENTRY(GetThemeBackgroundExtent) ENTRY(GetThemeTextExtent)
ENTRY(GetThemeTextMetrics) ENTRY(GetThemeBackgroundRegion) ENTRY(HitTestThemeBackground)
ENTRY(DrawThemeEdge) ENTRY(DrawThemeIcon) ENTRY(IsThemePartDefined)
ENTRY(IsThemeBackgroundPartiallyTransparent) ENTRY(GetThemeColor) ENTRY(GetThemeMetric)
ENTRY(GetThemeString) ENTRY(GetThemeBool) ENTRY(GetThemeInt) ENTRY(GetThemeEnumValue)
ENTRY(GetThemePosition) ENTRY(GetThemeFont) ENTRY(GetThemeRect) ENTRY(GetThemeMargins)
ENTRY(GetThemeIntList) ENTRY(SetWindowTheme) ENTRY(GetThemeFilename) ENTRY(GetThemeSysColor)
ENTRY(GetThemeSysColorBrush) ENTRY(GetThemeSysBool) ENTRY(GetThemeSysSize) ENTRY(GetThemeSysFont)
ENTRY(GetThemeSysString) ENTRY(GetThemeSysInt) ENTRY(IsThemeActive) ENTRY(IsAppThemed)
ENTRY(GetWindowTheme) ENTRY(EnableThemeDialogTexture) ENTRY(IsThemeDialogTextureEnabled)
ENTRY(GetThemeAppProperties) ENTRY(SetThemeAppProperties) ENTRY(GetCurrentThemeName)
ENTRY(GetThemeDocumentationProperty) ENTRY(DrawThemeParentBackground)
// clang-format on
#ifndef THEME_STUB_OMIT_ENABLE_THEMING
                                                                ENTRY(EnableTheming)
#endif
