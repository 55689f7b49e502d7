#include "platform/Screen.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace platform {

namespace {

const QString kOuterSize = QStringLiteral("platform-outer-size");

QScreen* screen() { return QGuiApplication::instance() ? QGuiApplication::primaryScreen() : nullptr; }

QMargins frameMargins(const QWidget& window)
{
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

// The frame of a window is known only once a window manager has framed it,
// after the window is shown: until then the client area has the whole outer
// size, and it is made smaller by the frame the first time the window is
// seen framed in its normal state.
class OuterSize : public QObject {
public:
    OuterSize(QWidget& window, const QRect& outer) : QObject(&window), m_window(window), m_outer(outer)
    {
        setObjectName(kOuterSize);
        window.installEventFilter(this);
    }
    static OuterSize* of(const QWidget& window)
    {
        return static_cast<OuterSize*>(window.findChild<QObject*>(kOuterSize, Qt::FindDirectChildrenOnly));
    }
    QRect outer() const { return m_outer; }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_window)
            switch (event->type()) {
            case QEvent::Show:
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::WindowStateChange:
                // After the toolkit has taken in the frame the event reports.
                QTimer::singleShot(0, this, [this] { fit(); });
                break;
            default: break;
            }
        return false;
    }

private:
    void fit()
    {
        if (!m_window.isVisible()
            || (m_window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
            return;
        const QMargins frame = frameMargins(m_window);
        if (frame.isNull())
            return;
        m_window.removeEventFilter(this);
        setObjectName(QString());
        m_window.resize(m_outer.width() - frame.left() - frame.right(),
                        m_outer.height() - frame.top() - frame.bottom());
        deleteLater();
    }

    QWidget& m_window;
    const QRect m_outer;
};

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

QRect outerNormalGeometry(const QWidget& window)
{
    // Never framed in its normal state (shown maximized, or no window
    // manager yet): the outer rectangle it was given stands.
    if (const OuterSize* pending = OuterSize::of(window))
        return pending->outer();
    const QRect normal = window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
    return normal.marginsAdded(frameMargins(window));
}

void setOuterGeometry(QWidget& window, const QRect& outer)
{
    delete OuterSize::of(window);
    // Moved before it is shown, a window's position is its frame's.
    window.move(outer.topLeft());
    window.resize(outer.size());
    new OuterSize(window, outer);
}

}  // namespace platform
