#include "platform/Screen.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace platform {

namespace {

const QString kOuterSize = QStringLiteral("platform-outer-size");
const QString kNormalFrame = QStringLiteral("platform-normal-frame");
constexpr int kRestoredFrame = 250;  // ms
constexpr int kTurns = 4;
constexpr int kSettling = 2000;  // ms
constexpr int kTick = 100;       // ms

QScreen* screen() { return QGuiApplication::instance() ? QGuiApplication::primaryScreen() : nullptr; }

// The widget's copy of the frame, taken when the window last moved, stays
// once the window is hidden; the platform window's own is fresher while it
// shows.
QMargins frameMargins(const QWidget& window, bool fresh = false)
{
    if (const QWindow* handle = window.windowHandle(); fresh && handle)
        return handle->frameMargins();
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

bool normalState(const QWidget& window)
{
    return !(window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized));
}

// The frame a window has in its normal state, kept while it is maximized,
// when the window manager draws it otherwise or not at all.
class NormalFrame : public QObject {
public:
    explicit NormalFrame(QWidget& window) : QObject(&window), m_window(window)
    {
        setObjectName(kNormalFrame);
        window.installEventFilter(this);
    }
    static NormalFrame* of(const QWidget& window)
    {
        return static_cast<NormalFrame*>(
            window.findChild<QObject*>(kNormalFrame, Qt::FindDirectChildrenOnly));
    }
    QMargins margins() const { return m_margins; }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_window && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
            QTimer::singleShot(0, this, [this] {
                const QMargins frame = frameMargins(m_window, true);
                if (m_window.isVisible() && normalState(m_window) && !frame.isNull())
                    m_margins = frame;
            });
        return false;
    }

private:
    QWidget& m_window;
    QMargins m_margins;
};

// The frame of a window is known only once a window manager has framed it,
// after the window is shown: until then the client area has the whole outer
// rectangle, and it takes what the frame leaves the first time the window is
// seen framed in its normal state.
class OuterSize : public QObject {
public:
    OuterSize(QWidget& window, const QRect& outer) : QObject(&window), m_window(window), m_outer(outer)
    {
        setObjectName(kOuterSize);
        m_settling.setSingleShot(true);
        m_settling.setInterval(kSettling);
        connect(&m_settling, &QTimer::timeout, this, [this] { done(); });
        m_ticks.setInterval(kTick);
        connect(&m_ticks, &QTimer::timeout, this, [this] { fit(); });
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
                // After the toolkit has taken in the frame the event reports.
                QTimer::singleShot(0, this, [this] { fit(); });
                break;
            case QEvent::WindowStateChange:
                // Restored, the window is framed anew: its frame is known
                // once the window manager has placed it.
                QTimer::singleShot(kRestoredFrame, this, [this] { fit(); });
                break;
            default: break;
            }
        return false;
    }

private:
    void fit()
    {
        if (m_done || !m_window.isVisible() || !normalState(m_window))
            return;
        const QMargins frame = frameMargins(m_window, true);
        if (frame.isNull())
            return;
        // The frame the toolkit reports may lag behind the window manager's:
        // for a short while the window is put right each time the frame
        // changes, not when the window does, which is the user's to move.
        if (!m_settling.isActive()) {
            m_settling.start();
            m_ticks.start();
        }
        if (frame == m_frame)
            return;
        m_frame = frame;
        if (m_window.geometry().marginsAdded(frame) != m_outer && m_turns < kTurns) {
            ++m_turns;
            m_window.setGeometry(m_outer.marginsRemoved(frame));
        }
    }
    void done()
    {
        m_done = true;
        m_ticks.stop();
        m_window.removeEventFilter(this);
        setObjectName(QString());
        deleteLater();
    }

    QWidget& m_window;
    const QRect m_outer;
    QMargins m_frame;
    int m_turns = 0;
    QTimer m_settling;
    QTimer m_ticks;
    bool m_done = false;
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
    const NormalFrame* frame = NormalFrame::of(window);
    return normal.marginsAdded(frame && !frame->margins().isNull() ? frame->margins() : frameMargins(window));
}

void setOuterGeometry(QWidget& window, const QRect& outer, bool maximized)
{
    delete OuterSize::of(window);
    if (!NormalFrame::of(window))
        new NormalFrame(window);
    if (maximized) {
        // Restored, it goes where the window manager has kept from the
        // start, as the client area's place; the frame is put right then.
        window.setGeometry(outer);
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    } else {
        // Moved before it is shown, a window's position is its frame's.
        window.move(outer.topLeft());
        window.resize(outer.size());
    }
    new OuterSize(window, outer);
}

}  // namespace platform
