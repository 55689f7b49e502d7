#pragma once
// Right clicks as the display delivers them, over a whole tool bar.

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QToolBar>
#include <QWindow>

namespace fixture {

// Right-clicks Bar's every child and its own edges through its window and
// returns how many clicks left a menu open (each one is closed again).
inline int MenusOpenedByRightClicks(QToolBar* Bar)
{
    QList<QPoint> points = {QPoint(1, 1), QPoint(Bar->width() - 2, Bar->height() / 2),
                            QPoint(Bar->width() / 2, Bar->height() - 2)};
    for (QWidget* child : Bar->findChildren<QWidget*>())
        if (child->isVisible())
            points << child->mapTo(Bar, child->rect().center());
    QWindow* window = Bar->window()->windowHandle();
    int opened = 0;
    for (const QPoint& at : points) {
        QTest::mouseClick(window, Qt::RightButton, {}, Bar->mapTo(Bar->window(), at));
        QCoreApplication::processEvents();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMenu*>(w) && w->isVisible()) {
                ++opened;
                w->close();
            }
    }
    return opened;
}

}  // namespace fixture
