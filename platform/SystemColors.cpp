#include "platform/SystemColors.h"

#include <iterator>

namespace platform {

namespace {

// Indexed by the system colour number (scroll bar = 0 ... menu bar = 30).
constexpr uint32_t kSystemColors[] = {
    0xC8C8C8, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000,
    0x000000, 0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A,
    0xFFFFFF, 0xC8D0D4, 0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF,
    0x404040, 0xC8D0D4, 0x000000, 0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6,
    0xC0C0C0, 0xD77800, 0xC8D0D4,
};

}  // namespace

uint32_t colorToRgb(Color Value)
{
    const uint32_t high = Value & 0xFF000000u;
    if (high == 0x80000000u || high == 0xFF000000u) {
        const uint32_t index = Value & 0xFFu;
        return index < std::size(kSystemColors) ? kSystemColors[index] : 0;
    }
    return Value & 0x00FFFFFFu;
}

}  // namespace platform
