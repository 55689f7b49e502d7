// Language packs: loading the pack of the chosen language and applying
// its texts to the main window.
#include "app/Unit1.h"

#include "app/myutils.h"
#include "kxCommon/KXImageBox.h"
#include "kxCommon/kxMiscUtils.h"
#include "platform/ApplicationHelp.h"
#include "platform/Exceptions.h"
#include "platform/MessageBoxes.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>

namespace {

// The oldest pack whose texts fit this program. Fixed: it moves only when
// the texts do, not with the program's version.
const QString kLowestPackVersion = QStringLiteral("5.1.0.2");

const char* const kPackFiles[]
    = {"english.lng", "ukrainian.lng", "greek.lng", "romanian.lng", "italian.lng", "polish.lng"};

QString packFile(int32_t tag)
{
    return QString::fromLatin1(tag >= 0 && tag < 6 ? kPackFiles[tag] : kPackFiles[0]);
}

// A pack whose string tables do not lie whole in its file (one cut short)
// could give none of its texts: it does not load.
std::unique_ptr<platform::PeModule> openPack(const QString& path)
{
    try {
        std::unique_ptr<platform::PeModule> pack = platform::PeModule::open(path);
        if (pack && pack->stringTablesReadable())
            return pack;
    } catch (const platform::Error&) {
        // The file changed while it was read.
    }
    return nullptr;
}

void errorBox(const QString& text)
{
    platform::messageBoxes().show(
        {ApplicationTitle(), text, platform::MsgType::Error, platform::mbOK, platform::mrOk});
}

}  // namespace

bool TForm1::LoadLanguageLibrary(QAction* Sender, int32_t& Tag)
{
    QString path = ProgramDir() + packFile(Tag);
    if (!QFileInfo(path).isFile()) {
        if (FParams.isEmpty()) {
            errorBox(FormatUIText(GetMessageText(117), {path}) + QStringLiteral("\r\n")
                     + GetMessageText(612));
        }
        const QString english = ProgramDir() + packFile(0);
        if (Sender || Tag == 0 || LangModule || !QFileInfo(english).isFile())
            return false;
        Tag = 0;
        path = english;
    }
    LangModule.reset();
    LangModule = openPack(path);
    if (LangModule)
        return true;
    if (FParams.isEmpty()) {
        errorBox(GetMessageText(613) + QStringLiteral("\r\n") + path);
    }
    return false;
}

void TForm1::NEnglishClick(QAction* Sender)
{
    int32_t tag = Sender ? Sender->data().toInt() : Language;
    const bool loaded = LoadLanguageLibrary(Sender, tag);
    if (loaded)
        Language = tag;
    const int checkedTag = Language >= 0 && Language < 6 ? Language : 0;
    FLanguageItems[static_cast<size_t>(checkedTag)]->setChecked(true);
    if (!loaded)
        return;

    ApplyTexts();
    ScrollBoxSelectItem(FScrollBox, FScrollBox->ImageBox()->ItemIndex());
    FScrollBox->ImageBox()->update();

    if (FParams.isEmpty() || Sender) {
        const QString version = GetUIText(50000);
        if (version.isEmpty() || CompareVersions(kLowestPackVersion, version) > 0) {
            // A pack without a version says nothing in its own words either.
            const QString text = version.isEmpty()
                ? GetBuiltInText(610) + QStringLiteral("\r\n") + GetBuiltInText(611)
                : GetMessageText(610) + QStringLiteral("\r\n") + GetMessageText(611);
            platform::messageBoxes().show(
                {ApplicationTitle(), text, platform::MsgType::Warning, platform::mbOK, platform::mrOk});
        }
    }
    QString helpFile;
    ChooseHelpFile(Sender, Language == 1 ? QStringLiteral("ukrainian.chm") : QStringLiteral("english.chm"),
                   helpFile);
    platform::applicationHelp().helpFile = ProgramDir() + helpFile;
}

void TForm1::ApplyTexts()
{
    TKXImageBox* grid = FScrollBox->ImageBox();
    SetHint(FScrollBox, u'|' + GetUIText(601));
    grid->SetText(GetUIText(601));
    grid->SetUnableToLoadOrFindIconsMsg(GetUIText(614));
    SetHint(FOpenAction, GetUIText(103));
    SetHint(FSaveAction, GetUIText(104));
    SetHint(FRefreshAction, GetUIText(107));
    FOpenDlgTitle = GetUIText(708);
    FDirDlgTitle = GetUIText(707);
    FOpenDlgFilter = GetUIText(802);
    FNLanguage->setTitle(GetUIText(900));
    const int order[] = {0, 2, 1, 3, 4, 5};  // texts 901-906: English, Greek, Ukrainian, ...
    for (int i = 0; i < 6; ++i)
        FLanguageItems[static_cast<size_t>(order[i])]->setText(GetUIText(901 + i));
    FNSaveSel->setText(GetUIText(921));
    FNSaveAllasOneImage->setText(GetUIText(922));
    FNSaveAll->setText(GetUIText(923));
    for (int tag = 0; tag < 6; ++tag) {
        FNSaveAllItems[tag]->setText(GetUIText(924 + tag));
        NSaveAllListItems[tag]->setText(GetUIText(924 + tag));
    }
    FNIconSize->setTitle(GetUIText(963));
    FNSize32->setText(GetUIText(964));
    FNSize16->setText(GetUIText(965));
    FNSaveToRegistry->setText(GetUIText(961));
    ApplyToolBarTexts();
    ApplyCommandTexts();
    ApplyFindPanelTexts();
}
