#include "platform/ModalForms.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace platform {

namespace {

std::shared_ptr<ModalForms>& current()
{
    static std::shared_ptr<ModalForms> forms = std::make_shared<DesktopModalForms>();
    return forms;
}

class BelowModalWindows : public QObject {
public:
    explicit BelowModalWindows(QWidget& form) : QObject(&form), m_form(form)
    {
        form.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_form)
            switch (event->type()) {
            case QEvent::WindowBlocked: setOnTop(false); break;
            case QEvent::WindowUnblocked: setOnTop(true); break;
            default: break;
            }
        return false;
    }

private:
    // On the platform window only: the form's own flags would have the
    // toolkit hide and make its window anew.
    void setOnTop(bool onTop)
    {
        if (QWindow* window = m_form.windowHandle())
            window->setFlag(Qt::WindowStaysOnTopHint, onTop);
    }

    QWidget& m_form;
};

}  // namespace

void keepBelowModalWindows(QWidget& form) { new BelowModalWindows(form); }

int DesktopModalForms::showModal(QDialog& form) { return form.exec(); }

Qt::KeyboardModifiers DesktopModalForms::heldModifiers() { return QGuiApplication::queryKeyboardModifiers(); }

int ScriptedModalForms::showModal(QDialog& form)
{
    ++shown;
    return answer ? answer(form) : QDialog::Rejected;
}

ModalForms& modalForms() { return *current(); }

void setModalForms(std::shared_ptr<ModalForms> forms)
{
    current() = forms ? std::move(forms) : std::make_shared<DesktopModalForms>();
}

}  // namespace platform
