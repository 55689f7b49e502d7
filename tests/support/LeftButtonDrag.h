#pragma once
// Mouse events of a drag with the left button, sent straight to a widget:
// the moves carry the held button, which a plain QTest move does not.

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

namespace left_button {

inline void send(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, p, w->mapToGlobal(p), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

inline void press(QWidget* w, QPoint p) { send(w, QEvent::MouseButtonPress, p, Qt::LeftButton); }
inline void move(QWidget* w, QPoint p) { send(w, QEvent::MouseMove, p, Qt::LeftButton); }
inline void release(QWidget* w, QPoint p) { send(w, QEvent::MouseButtonRelease, p, Qt::NoButton); }

inline void drag(QWidget* w, QPoint from, QPoint to)
{
    press(w, from);
    move(w, to);
    release(w, to);
}

}  // namespace left_button
