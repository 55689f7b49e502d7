// The export commands of the main window (HTML, dBASE, PDF) with their
// options form, and the buttons and menu items of the commands.
#include "app/Unit1.h"

#include "app/DbaseExport.h"
#include "app/HtmlExport.h"
#include "app/PdfExport.h"
#include "app/Save.h"
#include "app/myutils.h"
#include "kxCommon/KXImageBox.h"
#include "kxCommon/kxDialog.h"
#include "kxCommon/kxFileUtils.h"
#include "platform/MessageBoxes.h"
#include "platform/ModalForms.h"
#include "platform/WaitCursor.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>

namespace {

// Shift and Ctrl held while the command starts: the stored options serve.
bool SkipOptions()
{
    const Qt::KeyboardModifiers held = platform::modalForms().heldModifiers();
    return held.testFlag(Qt::ShiftModifier) && held.testFlag(Qt::ControlModifier);
}

QString FolderOf(const QString& FileName) { return FileName.left(FileName.lastIndexOf(u'/') + 1); }

}  // namespace

void TForm1::CreateCommandControls()
{
    FDirDlg = new TKXDirDialog(this);

    FPopupSave->addSeparator();
    FNHTM = FPopupSave->addAction(QStringLiteral("Export to &HTML..."));
    FNDBF = FPopupSave->addAction(QStringLiteral("Export to &dBASE..."));
    FNPDF = FPopupSave->addAction(QStringLiteral("Export to &PDF..."));
    connect(FNHTM, &QAction::triggered, this, [this] { NHTMClick(); });
    connect(FNDBF, &QAction::triggered, this, [this] { NDBFClick(); });
    connect(FNPDF, &QAction::triggered, this, [this] { NPDFClick(); });

    FNShowIconEx = new QAction(QStringLiteral("Show Selected Icon In Separate &Window"), this);
    FNShowIconEx->setCheckable(true);
    FOptionsMenu->insertAction(FNIconSize->menuAction(), FNShowIconEx);
    connect(FNShowIconEx, &QAction::triggered, this, [this] { NShowIconExClick(); });

    installEventFilter(this);  // to preview the keys once the native window exists
}

void TForm1::ApplyCommandTexts()
{
    FNHTM->setText(GetUIText(941));
    FNDBF->setText(GetUIText(942));
    FNPDF->setText(GetUIText(943));
    FNShowIconEx->setText(GetUIText(962));
}

void TForm1::NHTMClick()
{
    if (!SkipOptions()) {
        TSaveFrm form(this);
        form.setWindowTitle(GetUIText(704));
        form.RunHelp = [this](const QString& Topic) { RunHelp(Topic); };
        form.FieldGrp->hide();
        form.TypeGrp->hide();
        form.Edit1->setText(QString::number(HtmlColumnCount));
        form.NumberCheck->setChecked(ExpIncludeNumbers);
        form.BorderCheck->setChecked(ExpDrawBorder);
        form.ImageTypeCombo->setCurrentIndex(ExpTargetImageType);
        form.GrayScaleCheck->setChecked(ExpGrayScale);
        if (platform::modalForms().showModal(form) != QDialog::Accepted)
            return;
        ExpIncludeNumbers = form.NumberCheck->isChecked();
        ExpDrawBorder = form.BorderCheck->isChecked();
        ExpTargetImageType = form.ImageTypeCombo->currentIndex();
        ExpGrayScale = form.GrayScaleCheck->isChecked();
        // The page writer takes at least one column; "0" means one.
        HtmlColumnCount = std::max(1, form.Edit1->text().trimmed().toInt());
    }
    const auto chosen = RunSaveDialog(703, GetUIText(804));
    if (!chosen)
        return;
    const QString& name = chosen->first;
    const QString ext = ExtractFileExt(name);
    // The page is the name as chosen, in its case; so is its folder.
    const QString destDir = HtmlExport::PicturesFolder(name);
    FSkippedIcons.clear();
    {
        platform::WaitCursor wait;
        int saveCount = 0;
        uint16_t confirmResult = 0;
        QSet<QString> written;
        SaveAll(QString(), destDir, name, ext, QString(), 11, 0, ExpIncludeNumbers, ExpDrawBorder,
                ExpGrayScale, SmallIcons, ExpTargetImageType, saveCount, confirmResult, written);
    }
    ReportSkippedIcons();
    // The page as written: ".htm" added when the name has no extension.
    if (OpenAfterSave)
        OpenWithShell(HtmlExport::PageFileName(destDir, ext), QString());
}

void TForm1::NPDFClick()
{
    if (!SkipOptions()) {
        TSaveFrm form(this);
        form.setWindowTitle(GetUIText(710));
        form.RunHelp = [this](const QString& Topic) { RunHelp(Topic); };
        // The layout moves the rest up into the room of what is hidden.
        for (QWidget* w : std::initializer_list<QWidget*> {form.FieldGrp, form.TypeGrp, form.Label1,
                                                           form.Label6, form.Edit1, form.ImageTypeCombo})
            w->hide();
        form.NumberCheck->setChecked(ExpIncludeNumbers);
        form.BorderCheck->setChecked(ExpDrawBorder);
        form.GrayScaleCheck->setChecked(ExpGrayScale);
        if (platform::modalForms().showModal(form) != QDialog::Accepted)
            return;
        ExpIncludeNumbers = form.NumberCheck->isChecked();
        ExpDrawBorder = form.BorderCheck->isChecked();
        ExpGrayScale = form.GrayScaleCheck->isChecked();
    }
    const auto chosen = RunSaveDialog(709, GetUIText(807));
    if (!chosen)
        return;
    const QString& name = chosen->first;
    FSkippedIcons.clear();
    {
        platform::WaitCursor wait;
        int saveCount = 0;
        uint16_t confirmResult = 0;
        QSet<QString> written;
        SaveAll(QString(), FolderOf(name), name, ExtractFileExt(name), QString(), 13, 0, ExpIncludeNumbers,
                ExpDrawBorder, ExpGrayScale, SmallIcons, ExpTargetImageType, saveCount, confirmResult,
                written);
    }
    ReportSkippedIcons();
    if (OpenAfterSave)
        OpenWithShell(PdfExport::DocumentFileName(FolderOf(name), name), QString());
}

void TForm1::NDBFClick()
{
    bool greyApplies = ExpDBFType > 0;
    if (!SkipOptions()) {
        TSaveFrm form(this);
        form.setWindowTitle(GetUIText(706));
        form.RunHelp = [this](const QString& Topic) { RunHelp(Topic); };
        form.HTMLPanel->hide();
        form.FieldEdit->setText(ExpDBFFieldName);
        form.TypeGrp->SetItemIndex(ExpDBFType);
        form.GrayScaleCheck->setChecked(ExpGrayScale);
        form.TypeGrpClick();
        if (platform::modalForms().showModal(form) != QDialog::Accepted)
            return;
        ExpDBFFieldName = form.FieldEdit->text().left(10);
        ExpDBFType = form.TypeGrp->ItemIndex();
        ExpGrayScale = form.GrayScaleCheck->isChecked();
        greyApplies = form.GrayScaleCheck->isEnabled();
    }
    const auto chosen = RunSaveDialog(705, GetUIText(805));
    if (!chosen)
        return;
    const QString& name = chosen->first;
    const QString ext = ExtractFileExt(name);
    // The files as the export names them (it adds ".dbf" to a name without
    // extension). The save dialog asked about the table; the memo file
    // beside a new table would be replaced without a word.
    const QString table = DbaseExport::TableFileName(FolderOf(name), name, ext);
    const QString memo = DbaseExport::MemoFileName(table);
    if (QFileInfo::exists(memo) && !QFileInfo::exists(table)
        && platform::messageBoxes().show({ApplicationTitle(), FormatUIText(GetMessageText(609), {memo}),
                                          platform::MsgType::Confirmation, platform::mbYes | platform::mbNo,
                                          platform::mrNo})
            != platform::mrYes)
        return;
    FSkippedIcons.clear();
    {
        platform::WaitCursor wait;
        int saveCount = 0;
        uint16_t confirmResult = 0;
        QSet<QString> written;
        SaveAll(QString(), FolderOf(name), name, ext, ExpDBFFieldName, 12, ExpDBFType, true, true,
                ExpGrayScale && greyApplies, SmallIcons, 0, saveCount, confirmResult, written);
    }
    ReportSkippedIcons();
    if (OpenAfterSave)
        OpenWithShell(table, QString());
}
