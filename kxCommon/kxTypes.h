#pragma once
// Types shared across the in-house library.

#include <QStringList>

using TStringArray = QStringList;

// Where a document watermark goes: a comment, or a text at one of the page
// edges (the edge first, then the position along it).
enum TWatermarkType {
    wmtComment,
    wmtLeftLeft,
    wmtLeftCenter,
    wmtLeftRight,
    wmtTopLeft,
    wmtTopCenter,
    wmtTopRight,
    wmtRightLeft,
    wmtRightCenter,
    wmtRightRight,
    wmtBottomLeft,
    wmtBottomCenter,
    wmtBottomRight,
};

static_assert(wmtBottomRight == 12);
