#include "platform/ModalForms.h"

#include <QDialog>
#include <QGuiApplication>

namespace platform {

namespace {

std::shared_ptr<ModalForms>& current()
{
    static std::shared_ptr<ModalForms> forms = std::make_shared<DesktopModalForms>();
    return forms;
}

}  // namespace

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
