#pragma once
// The hourglass for the length of a scope, restored on every way out (the
// toolkit's Screen.Cursor set to crHourGlass and back).

#include <QApplication>

namespace platform {

class WaitCursor {
public:
    WaitCursor() : m_active(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
    {
        if (m_active)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WaitCursor()
    {
        if (m_active)
            QApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_active;
};

}  // namespace platform
