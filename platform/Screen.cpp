#include "platform/Screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

namespace {

QScreen* screen() { return QGuiApplication::instance() ? QGuiApplication::primaryScreen() : nullptr; }

}  // namespace

int screenBitsPerPixel()
{
    QScreen* s = screen();
    return s && s->depth() > 0 ? s->depth() : 32;
}

int screenPixelsPerInch()
{
    QScreen* s = screen();
    const int ppi = s ? qRound(s->logicalDotsPerInchY()) : 0;
    return ppi > 0 ? ppi : 96;
}

}  // namespace platform
