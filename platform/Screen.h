#pragma once
// What the program asks of the screen. With no screen (offscreen, tests)
// the answers are those of a common 32-bit, 96-dpi display.

namespace platform {

int screenBitsPerPixel();
int screenPixelsPerInch();

}  // namespace platform
