// Help: the help file of the language, the help commands, and the long
// hints that the status bar shows.
#include "app/Unit1.h"

#include "app/myutils.h"
#include "kxCommon/kxHelpUtils.h"
#include "platform/ApplicationHelp.h"
#include "platform/MessageBoxes.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QStatusTipEvent>

namespace {

// Hints reach the window as status tips; the window's own handling would
// cover the status panels with a message.
class HintFilter : public QObject {
public:
    explicit HintFilter(TForm1* form) : QObject(form), m_form(form) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::StatusTip) {
            m_form->AppOnHint(static_cast<QStatusTipEvent*>(event)->tip());
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TForm1* m_form;
};

}  // namespace

void SetHint(QObject* Control, const QString& Hint)
{
    // "short|long": the short part is the tool tip, the long part goes to
    // the status bar; a hint without "|" is both.
    const qsizetype bar = Hint.indexOf(u'|');
    Control->setProperty("toolTip", bar >= 0 ? Hint.left(bar) : Hint);
    Control->setProperty("statusTip", bar >= 0 ? Hint.mid(bar + 1) : Hint);
}

void TForm1::CreateHelpControls()
{
    platform::ApplicationHelp& help = platform::applicationHelp();
    help.handle = this;
    help.onHelp = [this](uint16_t Command, intptr_t Data, bool& CallHelp) {
        return ShowHelp(Command, Data, CallHelp);
    };
    help.onUnreadableFile = [](const QString& File) {
        platform::messageBoxes().show({ApplicationTitle(),
                                       GetMessageText(613) + QStringLiteral("\r\n") + File,
                                       platform::MsgType::Error, platform::mbOK, platform::mrOk});
    };
    auto* hints = new HintFilter(this);
    installEventFilter(hints);
    // A menu is a window of its own, so its items' hints stop there: the
    // recent files' full paths are taken from it.
    FMRUPopup->installEventFilter(hints);
}

void TForm1::AppOnHint(const QString& Hint)
{
    const qsizetype bar = Hint.indexOf(u'|');
    const QString text = bar >= 0 ? Hint.mid(bar + 1) : Hint;
    if (!text.contains(u'\r') && !text.contains(u'\n') && !text.contains(u'\t'))
        FPanels[0]->setText(text);
}

bool TForm1::ShowHelp(uint16_t Command, intptr_t Data, bool& CallHelp)
{
    (void)Command;
    (void)Data;
    CallHelp = false;
    return false;
}

void TForm1::RunHelp(const QString& Topic) { ShowHelpTopic(Topic); }

void TForm1::HelpBtnClick() { RunHelp(QString()); }

void TForm1::ChooseHelpFile(QAction* Sender, const QString& Name, QString& HelpFileName)
{
    if (QFileInfo(ProgramDir() + Name).isFile())
        HelpFileName = Name;
    else
        ReportMissingHelpFile(Sender, Name, HelpFileName);
}

void TForm1::ReportMissingHelpFile(QAction* Sender, const QString& Name, QString& HelpFileName)
{
    HelpFileName = QStringLiteral("english.chm");
    const platform::MessageRequest box {ApplicationTitle(),
                                        FormatUIText(GetMessageText(605), {Name}) + QStringLiteral("\r\n")
                                            + GetMessageText(612),
                                        platform::MsgType::Error, platform::mbOK, platform::mrOk};
    if (Sender)
        platform::messageBoxes().show(box);
    else if (Run == 1 && (Language == 0 || Language == 1))
        StartupNotice(box);
}
