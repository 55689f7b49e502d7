#pragma once
// The main window's keys: which command a key press asks for.

#include <Qt>

enum class TShortcutCommand { None, StopSearch, Copy, Open, Print, Refresh, SaveSel, Help };

// Esc and F1 count with any modifiers; the letters only with Ctrl alone
// (no Shift, Alt, Meta and no mouse button held).
TShortcutCommand ShortcutCommand(int Key, Qt::KeyboardModifiers Shift, Qt::MouseButtons Buttons);
