#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

namespace platform {

namespace {

std::shared_ptr<MessageBoxes>& current()
{
    static std::shared_ptr<MessageBoxes> boxes = std::make_shared<DesktopMessageBoxes>();
    return boxes;
}

QMessageBox::Icon iconOf(MsgType type)
{
    switch (type) {
    case MsgType::Warning: return QMessageBox::Warning;
    case MsgType::Error: return QMessageBox::Critical;
    case MsgType::Confirmation: return QMessageBox::Question;
    case MsgType::Information: break;
    }
    return QMessageBox::Information;
}

}  // namespace

bool hasDisplay()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != u"offscreen" && platform != u"minimal";
}

void printToStandardError(const MessageRequest& request)
{
    QString text = request.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fprintf(stderr, "%s: %s\n", qPrintable(request.caption), qPrintable(text));
}

ModalResult DesktopMessageBoxes::show(const MessageRequest& request)
{
    if (!hasDisplay()) {
        printToStandardError(request);
        return request.escape;
    }
    QMessageBox box(iconOf(request.type), request.caption, request.text);
    struct Choice {
        MsgButton button;
        QMessageBox::StandardButton standard;
        ModalResult result;
    };
    static const Choice choices[] = {
        {mbYes, QMessageBox::Yes, mrYes},
        {mbNo, QMessageBox::No, mrNo},
        {mbOK, QMessageBox::Ok, mrOk},
        {mbCancel, QMessageBox::Cancel, mrCancel},
        {mbNoToAll, QMessageBox::NoToAll, mrNoToAll},
        {mbYesToAll, QMessageBox::YesToAll, mrYesToAll},
    };
    std::vector<std::pair<QAbstractButton*, ModalResult>> buttons;
    for (const Choice& c : choices) {
        if (!(request.buttons & c.button))
            continue;
        QAbstractButton* b = box.addButton(c.standard);
        buttons.emplace_back(b, c.result);
        if (c.result == request.escape)
            box.setEscapeButton(b);
    }
    box.exec();
    for (const auto& [button, result] : buttons)
        if (box.clickedButton() == button)
            return result;
    return request.escape;
}

ModalResult ScriptedMessageBoxes::show(const MessageRequest& request)
{
    shown.push_back(request);
    if (answers.empty())
        return request.escape;
    const ModalResult answer = answers.front();
    answers.pop_front();
    return answer;
}

MessageBoxes& messageBoxes() { return *current(); }

void setMessageBoxes(std::shared_ptr<MessageBoxes> boxes)
{
    current() = boxes ? std::move(boxes) : std::make_shared<DesktopMessageBoxes>();
}

}  // namespace platform
