// Opening files, the selection status and the recent files.
#include "app/Unit1.h"

#include "app/IconSaver.h"
#include "app/myutils.h"
#include "kxCommon/KXImageBox.h"
#include "platform/Bitmap.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/WaitCursor.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPainter>

void TForm1::SelectFile(const QString& FileName)
{
    FPanels[2]->clear();
    FPanels[3]->clear();
    platform::WaitCursor wait;
    TKXImageBox* grid = FScrollBox->ImageBox();
    grid->SetFileName(FileName);
    FFileName = FileName;
    setWindowTitle(ApplicationTitle() + QStringLiteral(" - ") + FileName.mid(FileName.lastIndexOf(u'/') + 1));
    ShowLoadedIcons();
    FRecent.Select(FFileName);
    RebuildRecentMenu();
    update();
}

void TForm1::ShowLoadedIcons()
{
    TKXImageBox* grid = FScrollBox->ImageBox();
    FPanels[1]->clear();
    const int count = grid->Count();
    SetCommandsEnabled(count > 0);
    if (count > 0)
        grid->SetItemIndex(0);
    HtmlColumnCount = std::min(grid->ColCount(), count);
}

void TForm1::RebuildRecentMenu()
{
    FMRUPopup->clear();
    for (const TRecentItem& item : FRecent.Items()) {
        QAction* a = FMRUPopup->addAction(item.Caption);
        a->setToolTip(item.Hint);
        a->setStatusTip(item.Hint);
        a->setCheckable(true);
        a->setChecked(item.Checked);
        const QString path = item.Hint;
        connect(a, &QAction::triggered, this, [this, path] { ReopenFile(path); });
    }
    QAction* empty = FMRUPopup->addAction(QStringLiteral("<Empty>"));
    empty->setEnabled(false);
    empty->setVisible(FRecent.EmptyVisible());
}

void TForm1::OpenBtnClick()
{
    const QString title = FOpenDlgTitle.isEmpty() ? QStringLiteral("Select file") : FOpenDlgTitle;
    const QString filter = DialogFilter(
        FOpenDlgFilter.isEmpty() ? QStringLiteral("Executable files (*.exe)|*.exe|Dynamic-link libraries "
                                                  "(*.dll)|*.dll|ActiveX files (*.ocx)|*.ocx|Any file "
                                                  "(*.*)|*.*")
                                 : FOpenDlgFilter);
    const std::optional<QString> answer
        = platform::fileDialogs().open(this, {title, filter.split(QStringLiteral(";;")), FOpenDlgInitialDir});
    if (!answer || answer->isEmpty())
        return;
    const QString& chosen = *answer;
    FOpenDlgInitialDir = QFileInfo(chosen).absolutePath();
    if (FSaveDlgInitialDir.isEmpty())
        FSaveDlgInitialDir = FOpenDlgInitialDir;
    if (chosen != FFileName)
        SelectFile(chosen);
    FScrollBox->setFocus();
}

void TForm1::RefreshBtnClick()
{
    // The reload clears the selection; selecting the first icon again, as
    // a load does, keeps the status bar and the commands on what is shown.
    FPanels[2]->clear();
    FPanels[3]->clear();
    platform::WaitCursor wait;
    FScrollBox->ImageBox()->Refresh();
    ShowLoadedIcons();
}

void TForm1::ReopenFile(const QString& Path) { SelectFile(Path); }

void TForm1::ScrollBoxDropFiles(QObject*, int, int, const QStringList& AFiles)
{
    if (AFiles.isEmpty())
        return;
    activateWindow();
    raise();
    SelectFile(AFiles.first());
    FScrollBox->setToolTip(QString());
    if (AFiles.size() > 1)
        platform::messageBoxes().show({ApplicationTitle(), GetMessageText(607),
                                       platform::MsgType::Information, platform::mbOK, platform::mrOk});
}

TBitCount TForm1::GetColorCount(const platform::Icon& Icon) { return ::GetColorCount(Icon); }

void TForm1::ScrollBoxSelectItem(QObject*, int Index)
{
    TKXImageBox* grid = FScrollBox->ImageBox();
    const int count = grid->Count();
    if (Index < 0) {
        FPanels[1]->setText(QString::number(count));
        FPanels[2]->clear();
        FPanels[3]->clear();
        return;
    }
    static const char* depths[] = {"1", "4", "8", "24", "32"};
    const QString depth = QString::fromLatin1(depths[GetColorCount(grid->GetIcon(Index))]);
    int imageCount = 0;
    QString errorText;
    try {
        ExtractIconGroupToFile(FFileName, QString(), Index, imageCount, errorText);
    } catch (const std::exception& e) {
        // A file that changed under us: the count is unknown, not an error box.
        errorText = QString::fromUtf8(e.what());
    }
    const QString images = errorText.isEmpty() ? QString::number(imageCount) : QStringLiteral("?");
    FPanels[1]->setText(QStringLiteral("%1 / %2").arg(Index + 1).arg(count));
    FPanels[2]->setText(FormatUIText(GetUIText(262), {images}));
    FPanels[3]->setText(FormatUIText(GetUIText(261), {depth}));
    UpdateIconWindow(Index);
}
