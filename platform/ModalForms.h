#pragma once
// Showing a form modally, and the keys held down at this moment, behind one
// interface so tests can fill in a form and answer it, and hold keys.

#include <Qt>

#include <functional>
#include <memory>

class QDialog;
class QWidget;

namespace platform {

class ModalForms {
public:
    virtual ~ModalForms() = default;
    // The form's result: QDialog::Accepted or Rejected.
    virtual int showModal(QDialog& form) = 0;
    // The modifier keys held down now, not as the last event saw them.
    virtual Qt::KeyboardModifiers heldModifiers() = 0;
};

class DesktopModalForms : public ModalForms {
public:
    int showModal(QDialog& form) override;
    Qt::KeyboardModifiers heldModifiers() override;
};

// For tests: each form goes to `answer`, which may change its controls and
// returns the result; Rejected when unset. `modifiers` are the held keys.
class ScriptedModalForms : public ModalForms {
public:
    int showModal(QDialog& form) override;
    Qt::KeyboardModifiers heldModifiers() override { return modifiers; }
    std::function<int(QDialog&)> answer;
    Qt::KeyboardModifiers modifiers;
    int shown = 0;
};

// Keeps a stay-on-top form below every modal dialog and message box: while
// one of them blocks the form, the form is on the normal level, and it goes
// back on top after.
void keepBelowModalWindows(QWidget& form);

ModalForms& modalForms();
// Replaces the forms' runner; nullptr restores the desktop one.
void setModalForms(std::shared_ptr<ModalForms> forms);

}  // namespace platform
