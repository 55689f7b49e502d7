#pragma once
// The toolkit's colour values: 0x00BBGGRR, or a system colour constant
// (0x80000000 or 0xFF000000 plus the index of a system colour).

#include <cstdint>

namespace platform {

using Color = uint32_t;

// The RGB value (0x00BBGGRR) of a colour; a system colour constant becomes
// the system colour. Linux has no such settings, so these are the stock
// values of the classic desktop scheme.
uint32_t colorToRgb(Color Value);

}  // namespace platform
