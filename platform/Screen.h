#pragma once
// What the program asks of the screen. With no screen (offscreen, tests)
// the answers are those of a common 32-bit, 96-dpi display.

#include <QRect>

class QWidget;

namespace platform {

int screenBitsPerPixel();
int screenPixelsPerInch();

// A top-level window's normal (restored) outer rectangle, frame included,
// as the window manager draws it.
QRect outerNormalGeometry(const QWidget& window);
// Gives a window that is not shown yet the normal outer rectangle `outer`,
// and shows it maximized when asked: its frame goes to the rectangle's
// top-left, and once the window manager has framed it in its normal state,
// the client area is what the frame leaves.
void setOuterGeometry(QWidget& window, const QRect& outer, bool maximized);

}  // namespace platform
