#pragma once
// Message boxes behind one interface, so tests can answer them and a run
// without a display can go on: the toolkit's MessageDlg and MessageBox.

#include <QString>

#include <deque>
#include <memory>
#include <vector>

namespace platform {

enum class MsgType { Warning, Error, Information, Confirmation };

// Buttons, combinable.
enum MsgButton : unsigned {
    mbYes = 1 << 0,
    mbNo = 1 << 1,
    mbOK = 1 << 2,
    mbCancel = 1 << 3,
    mbYesToAll = 1 << 4,
    mbNoToAll = 1 << 5,
};

// The answers, with the toolkit's numbers (callers store them).
enum ModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrYes = 6,
    mrNo = 7,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

struct MessageRequest {
    QString caption;
    QString text;
    MsgType type = MsgType::Information;
    unsigned buttons = mbOK;
    // What closing the box, Esc, or a run without a display answers.
    ModalResult escape = mrOk;
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual ModalResult show(const MessageRequest& request) = 0;
};

// Real boxes when there is a display; otherwise the text goes to standard
// error and the escape answer is taken.
class DesktopMessageBoxes : public MessageBoxes {
public:
    ModalResult show(const MessageRequest& request) override;
};

// For tests: records every box and answers from a queue (escape when empty).
class ScriptedMessageBoxes : public MessageBoxes {
public:
    ModalResult show(const MessageRequest& request) override;
    std::deque<ModalResult> answers;
    std::vector<MessageRequest> shown;
};

MessageBoxes& messageBoxes();
// Replaces the boxes; nullptr restores the desktop ones.
void setMessageBoxes(std::shared_ptr<MessageBoxes> boxes);

// True when windows can be shown (not the offscreen or minimal platform).
bool hasDisplay();

// Writes a box's caption and text to standard error, as a run without a
// display shows every box.
void printToStandardError(const MessageRequest& request);

}  // namespace platform
