#include "platform/Color.h"

#include <QGuiApplication>
#include <QPalette>

namespace platform {

namespace {

struct PaletteEntry {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// Which palette colour plays each system colour's part.
PaletteEntry paletteEntry(std::uint8_t index)
{
    using P = QPalette;
    switch (static_cast<SystemColor>(index)) {
    case SystemColor::ScrollBar: return {P::Active, P::Button};
    case SystemColor::Background: return {P::Active, P::Window};
    case SystemColor::ActiveCaption: return {P::Active, P::Highlight};
    case SystemColor::InactiveCaption: return {P::Active, P::Mid};
    case SystemColor::Menu: return {P::Active, P::Window};
    case SystemColor::Window: return {P::Active, P::Base};
    case SystemColor::WindowFrame: return {P::Active, P::Shadow};
    case SystemColor::MenuText: return {P::Active, P::WindowText};
    case SystemColor::WindowText: return {P::Active, P::Text};
    case SystemColor::CaptionText: return {P::Active, P::HighlightedText};
    case SystemColor::ActiveBorder: return {P::Active, P::Button};
    case SystemColor::InactiveBorder: return {P::Active, P::Button};
    case SystemColor::AppWorkspace: return {P::Active, P::Mid};
    case SystemColor::Highlight: return {P::Active, P::Highlight};
    case SystemColor::HighlightText: return {P::Active, P::HighlightedText};
    case SystemColor::ButtonFace: return {P::Active, P::Button};
    case SystemColor::ButtonShadow: return {P::Active, P::Dark};
    case SystemColor::GrayText: return {P::Disabled, P::Text};
    case SystemColor::ButtonText: return {P::Active, P::ButtonText};
    case SystemColor::InactiveCaptionText: return {P::Inactive, P::Text};
    case SystemColor::ButtonHighlight: return {P::Active, P::Light};
    case SystemColor::DarkShadow3D: return {P::Active, P::Shadow};
    case SystemColor::Light3D: return {P::Active, P::Midlight};
    case SystemColor::InfoText: return {P::Active, P::ToolTipText};
    case SystemColor::InfoBackground: return {P::Active, P::ToolTipBase};
    case SystemColor::HotLight: return {P::Active, P::Link};
    case SystemColor::GradientActiveCaption: return {P::Active, P::Highlight};
    case SystemColor::GradientInactiveCaption: return {P::Active, P::Mid};
    case SystemColor::MenuHighlight: return {P::Active, P::Highlight};
    case SystemColor::MenuBar: return {P::Active, P::Window};
    }
    return {P::Active, P::Window};  // unknown indices: the window colour
}

}  // namespace

Color colorToRgb(Color c)
{
    if (!isSystemColor(c))
        return c;
    const PaletteEntry entry = paletteEntry(static_cast<std::uint8_t>(c));
    const QColor q = QGuiApplication::palette().color(entry.group, entry.role);
    return rgb(static_cast<std::uint8_t>(q.red()), static_cast<std::uint8_t>(q.green()),
               static_cast<std::uint8_t>(q.blue()));
}

}  // namespace platform
