#pragma once
// The pictures of the main window's buttons, drawn in code: strips of three
// square cells (normal, disabled, hot) for the soft and pop-up buttons.

#include <QImage>

enum TToolGlyph {
    tgOpen,
    tgSave,
    tgSaveAll,
    tgCopy,
    tgPrint,
    tgRefresh,
    tgOptions,
    tgHelp,
    tgAbout,
    tgFolder
};

inline constexpr int kToolBarGlyphCells = 3;

// A strip of three Size x Size cells (Size 16 or 24) on a transparent
// background.
QImage ToolBarGlyph(TToolGlyph Glyph, int Size = 16);
