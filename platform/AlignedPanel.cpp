#include "platform/AlignedPanel.h"

#include <QChildEvent>
#include <QEvent>
#include <QVariant>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

constexpr const char* kAlignProperty = "platformAlign";

}  // namespace

Align alignOf(const QWidget* Control)
{
    const QVariant v = Control->property(kAlignProperty);
    return v.isValid() ? static_cast<Align>(v.toInt()) : Align::None;
}

void setAlign(QWidget* Control, Align Value)
{
    Control->setProperty(kAlignProperty, static_cast<int>(Value));
    AlignedPanel::realignParentOf(Control);
}

AlignedPanel::AlignedPanel(QWidget* parent) : QFrame(parent) {}

void AlignedPanel::realignParentOf(QWidget* Control)
{
    if (auto* panel = qobject_cast<AlignedPanel*>(Control->parentWidget()))
        panel->realign();
}

void AlignedPanel::disableAlign() { ++m_disabled; }

void AlignedPanel::enableAlign()
{
    if (m_disabled > 0 && --m_disabled == 0)
        realign();
}

void AlignedPanel::realign()
{
    if (m_disabled > 0 || m_aligning)
        return;
    m_aligning = true;
    QRect r = contentsRect();
    const Align order[] = {Align::Top, Align::Bottom, Align::Left, Align::Right, Align::Client};
    for (Align a : order) {
        std::vector<QWidget*> controls;
        for (QObject* o : children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && !w->isWindow() && !w->isHidden() && alignOf(w) == a)
                controls.push_back(w);
        }
        // The one nearest the aligned edge goes first.
        std::stable_sort(controls.begin(), controls.end(), [a](QWidget* x, QWidget* y) {
            const QRect gx = x->geometry(), gy = y->geometry();
            switch (a) {
            case Align::Top: return gx.top() < gy.top();
            case Align::Bottom: return gx.top() + gx.height() > gy.top() + gy.height();
            case Align::Left: return gx.left() < gy.left();
            case Align::Right: return gx.left() + gx.width() > gy.left() + gy.width();
            default: return false;
            }
        });
        for (QWidget* w : controls) {
            const int h = w->height(), wd = w->width();
            switch (a) {
            case Align::Top:
                w->setGeometry(r.left(), r.top(), r.width(), h);
                r.setTop(r.top() + h);
                break;
            case Align::Bottom:
                w->setGeometry(r.left(), r.bottom() + 1 - h, r.width(), h);
                r.setBottom(r.bottom() - h);
                break;
            case Align::Left:
                w->setGeometry(r.left(), r.top(), wd, r.height());
                r.setLeft(r.left() + wd);
                break;
            case Align::Right:
                w->setGeometry(r.right() + 1 - wd, r.top(), wd, r.height());
                r.setRight(r.right() - wd);
                break;
            case Align::Client:
                w->setGeometry(r.left(), r.top(), std::max(0, r.width()), std::max(0, r.height()));
                break;
            case Align::None: break;
            }
        }
    }
    m_aligning = false;
}

bool AlignedPanel::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::ChildAdded:
        if (auto* w = qobject_cast<QWidget*>(static_cast<QChildEvent*>(e)->child()))
            w->installEventFilter(this);
        break;
    case QEvent::ChildRemoved:
        static_cast<QChildEvent*>(e)->child()->removeEventFilter(this);
        realign();
        break;
    case QEvent::Resize: realign(); break;
    default: break;
    }
    return QFrame::event(e);
}

bool AlignedPanel::eventFilter(QObject* watched, QEvent* e)
{
    // A child shown, hidden, moved or resized by the program changes the
    // layout; our own moves are ignored by realign's guard.
    switch (e->type()) {
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
    case QEvent::Move:
    case QEvent::Resize:
        if (auto* w = qobject_cast<QWidget*>(watched); w && alignOf(w) != Align::None)
            realign();
        break;
    default: break;
    }
    return QFrame::eventFilter(watched, e);
}

}  // namespace platform
