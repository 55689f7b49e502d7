#pragma once
// The toolkit's colour values: 0x00BBGGRR for a plain colour; a value with
// the top bit set names a system colour by its index in the low byte and is
// resolved through the application palette.

#include <cstdint>

namespace platform {

using Color = std::uint32_t;

constexpr Color kSystemColorFlag = 0xFF000000u;

// Indices of the system colours, as the toolkit numbers them.
enum class SystemColor : std::uint8_t {
    ScrollBar = 0,
    Background = 1,
    ActiveCaption = 2,
    InactiveCaption = 3,
    Menu = 4,
    Window = 5,
    WindowFrame = 6,
    MenuText = 7,
    WindowText = 8,
    CaptionText = 9,
    ActiveBorder = 10,
    InactiveBorder = 11,
    AppWorkspace = 12,
    Highlight = 13,
    HighlightText = 14,
    ButtonFace = 15,
    ButtonShadow = 16,
    GrayText = 17,
    ButtonText = 18,
    InactiveCaptionText = 19,
    ButtonHighlight = 20,
    DarkShadow3D = 21,
    Light3D = 22,
    InfoText = 23,
    InfoBackground = 24,
    HotLight = 26,
    GradientActiveCaption = 27,
    GradientInactiveCaption = 28,
    MenuHighlight = 29,
    MenuBar = 30,
};

constexpr Color rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return Color {red} | (Color {green} << 8) | (Color {blue} << 16);
}
constexpr std::uint8_t redOf(Color c) { return static_cast<std::uint8_t>(c); }
constexpr std::uint8_t greenOf(Color c) { return static_cast<std::uint8_t>(c >> 8); }
constexpr std::uint8_t blueOf(Color c) { return static_cast<std::uint8_t>(c >> 16); }

constexpr Color systemColor(SystemColor which) { return kSystemColorFlag | static_cast<Color>(which); }
constexpr bool isSystemColor(Color c) { return (c & 0x80000000u) != 0; }

// A system colour becomes its current red, green and blue (top byte 0);
// any other value is returned as it is.
Color colorToRgb(Color c);

}  // namespace platform
