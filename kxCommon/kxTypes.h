#pragma once
// Types shared by the in-house units.

#include <QStringList>

using TStringArray = QStringList;

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
