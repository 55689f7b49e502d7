// The save commands of the main window and the save routines they call.
#include "app/Unit1.h"

#include "app/IconGridSource.h"
#include "app/IconSaver.h"
#include "app/myutils.h"
#include "kxCommon/KXImageBox.h"
#include "kxCommon/kxDialog.h"
#include "kxCommon/kxFileUtils.h"
#include "platform/Canvas.h"
#include "platform/Exceptions.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/Shell.h"
#include "platform/WaitCursor.h"

#include <QApplication>
#include <QFileInfo>
#include <QUrl>

namespace {

// The grid as the save routines read it.
class GridSource : public TIconGridSource {
public:
    explicit GridSource(TKXImageBox& grid) : m_grid(grid) {}
    int Count() const override { return m_grid.Count(); }
    const platform::Icon& GetIcon(int Index) const override { return m_grid.GetIcon(Index); }
    int ColCount() const override { return m_grid.ColCount(); }
    int ColWidth() const override { return m_grid.ColWidth(); }
    int Height() const override { return m_grid.height(); }
    int ItemWidth() const override { return m_grid.ItemWidth(); }
    int ItemHeight() const override { return m_grid.ItemHeight(); }
    void DrawAll(QPainter& Painter) const override
    {
        platform::Canvas canvas(Painter);
        m_grid.DrawAll(canvas);
    }

private:
    TKXImageBox& m_grid;
};

}  // namespace

QString FilterDefaultExt(const QString& WindowsFilter, int FilterIndex)
{
    QString rest = WindowsFilter;
    for (int i = 0; i < FilterIndex; ++i)
        rest = rest.mid(rest.indexOf(u'(') + 1);
    const qsizetype dot = rest.indexOf(u'.');
    const qsizetype close = rest.indexOf(u')');
    const QString ext = dot >= 0 && close > dot ? rest.mid(dot + 1, close - dot - 1) : QString();
    return ext == u"*" ? QString() : ext;
}

void OpenWithShell(QString FileName, const QString& Ext)
{
    if (!QFileInfo::exists(FileName) && !Ext.isEmpty() && QFileInfo(FileName).suffix().isEmpty()
        && QFileInfo::exists(FileName + u'.' + Ext))
        FileName += u'.' + Ext;
    platform::shellOpener().open(QUrl::fromLocalFile(FileName));
}

int TForm1::SaveIcon(int IconIndex, const QString& FileName, int FileType, bool GrayScale)
{
    GridSource grid(*FScrollBox->ImageBox());
    TIconSaver saver(grid, FFileName);
    return saver.SaveIcon(IconIndex, FileName, FileType, GrayScale);
}

void TForm1::SaveAllAsOne(const QString& FileName, int DestType, bool GrayScale)
{
    GridSource grid(*FScrollBox->ImageBox());
    TIconSaver saver(grid, FFileName);
    saver.SaveAllAsOne(FileName, DestType, GrayScale);
    if (!saver.Skipped().isEmpty())
        FSkippedIcons.push_back({FFileName, saver.Skipped(), {}});
}

void TForm1::SaveAll(const QString& SrcFileName, const QString& DestDir, const QString& DestFileName,
                     const QString& DestExt, const QString& DBFFieldName, int FileType, int DBFType,
                     bool IncludeNumbers, bool DrawBorders, bool GrayScale, bool Small, int TargetImageType,
                     int& SaveCount, uint16_t& ConfirmResult, QSet<QString>& WrittenNames)
{
    GridSource grid(*FScrollBox->ImageBox());
    TIconSaver saver(grid, FFileName);
    // What was left out is known after a failure too; a run over several
    // files names each file with its own icons.
    struct KeepSkipped {
        TIconSaver& saver;
        QString source;
        std::vector<TLeftOut>& skipped;
        ~KeepSkipped()
        {
            if (!saver.Skipped().isEmpty())
                skipped.push_back({source, saver.Skipped(), {}});
        }
    } keep {saver, SrcFileName.isEmpty() ? FFileName : SrcFileName, FSkippedIcons};
    saver.SaveAll(SrcFileName, DestDir, DestFileName, DestExt, DBFFieldName, FileType, DBFType,
                  IncludeNumbers, DrawBorders, GrayScale, Small, TargetImageType, SaveCount, ConfirmResult,
                  WrittenNames);
}

std::optional<platform::MessageRequest> TForm1::ReportSkippedIcons()
{
    if (FSkippedIcons.empty())
        return std::nullopt;
    QStringList lines;
    for (const auto& [source, skipped, reason] : FSkippedIcons) {
        if (!reason.isEmpty()) {
            lines << (reason.endsWith(u'.') ? reason.chopped(1) : reason)
                    + QStringLiteral("; nothing of it was saved.");
            continue;
        }
        QStringList numbers;
        for (const int i : skipped)
            numbers << QString::number(qint64 {i} + 1);
        const QString text = numbers.size() == 1
            ? QStringLiteral("Icon %1 of \"%2\" cannot be read; it was not saved.")
            : QStringLiteral("Icons %1 of \"%2\" cannot be read; they were not saved.");
        lines << text.arg(numbers.join(QStringLiteral(", ")), source);
    }
    FSkippedIcons.clear();
    const platform::MessageRequest report {ApplicationTitle(), lines.join(QStringLiteral("\r\n")),
                                           platform::MsgType::Warning, platform::mbOK, platform::mrOk};
    platform::messageBoxes().show(report);
    return report;
}

void TForm1::CheckSelection()
{
    if (FScrollBox->ImageBox()->ItemIndex() >= 0)
        return;
    platform::messageBoxes().show({ApplicationTitle(), GetMessageText(606), platform::MsgType::Warning,
                                   platform::mbOK, platform::mrOk});
    throw platform::Abort();
}

void TForm1::SaveDlgTypeChange()
{
    FSaveDlgDefaultExt = FilterDefaultExt(FSaveDlgFilter, FSaveDlgFilterIndex);
}

std::optional<std::pair<QString, int>> TForm1::RunSaveDialog(int TitleId, const QString& Filter)
{
    platform::SaveRequest request;
    request.title = GetUIText(TitleId);
    request.filters = DialogFilter(Filter).split(QStringLiteral(";;"));
    FSaveDlgFilter = Filter;
    // The index stays from the last use; one past this filter's entries
    // would give an extension that no entry shows.
    if (FSaveDlgFilterIndex < 1 || FSaveDlgFilterIndex > request.filters.size())
        FSaveDlgFilterIndex = 1;
    SaveDlgTypeChange();
    request.filterIndex = FSaveDlgFilterIndex;
    request.initialDir = FSaveDlgInitialDir;
    request.defaultExt = FSaveDlgDefaultExt;
    request.proposedName = MakeUniqueFileName(FSaveDlgInitialDir, FFileName, FSaveDlgDefaultExt);
    request.onTypeChange = [this](int FilterIndex) {
        FSaveDlgFilterIndex = FilterIndex;
        SaveDlgTypeChange();
        return FSaveDlgDefaultExt;
    };
    const auto answer = platform::fileDialogs().save(this, request);
    if (!answer)
        return std::nullopt;
    FSaveDlgFilterIndex = answer->filterIndex;
    FSaveDlgInitialDir = QFileInfo(answer->fileName).absolutePath();
    return std::make_pair(answer->fileName, answer->filterIndex);
}

void TForm1::SaveSelClick()
{
    CheckSelection();
    const auto chosen = RunSaveDialog(701, GetUIText(803) + u'|' + GetUIText(801));
    if (!chosen)
        return;
    SaveIcon(FScrollBox->ImageBox()->ItemIndex(), chosen->first, chosen->second - 1, false);
    if (OpenAfterSave)
        OpenWithShell(chosen->first, QString());
}

void TForm1::SaveAllAsOneClick()
{
    const auto chosen = RunSaveDialog(701, GetUIText(801));
    if (!chosen)
        return;
    FSkippedIcons.clear();
    {
        platform::WaitCursor wait;
        SaveAllAsOne(chosen->first, chosen->second, false);
    }
    ReportSkippedIcons();
    if (OpenAfterSave)
        OpenWithShell(chosen->first, QString());
}

void TForm1::SaveAllClick(int FileType) { RunSaveAll(FileType, std::nullopt); }

void TForm1::SaveAllListClick(int FileType, const QString& Folder, const QStringList& Entries)
{
    QStringList sources;
    for (const QString& entry : Entries)
        sources << JoinPath(Folder, entry);
    RunSaveAll(FileType, sources);
}

void TForm1::RunSaveAll(int FileType, const std::optional<QStringList>& Sources)
{
    FDirDlg->SetTitle(FDirDlgTitle);
    if (!FDirDlg->Execute(this))
        return;
    int saveCount = 0;
    uint16_t confirmResult = 0;
    QSet<QString> written;
    // The count is reported after a failure too; the error follows it.
    FSkippedIcons.clear();
    struct Report {
        TForm1* form;
        int& count;
        ~Report()
        {
            platform::messageBoxes().show({ApplicationTitle(), FormatUIText(GetMessageText(603), {count}),
                                           platform::MsgType::Information, platform::mbOK, platform::mrOk});
            form->ReportSkippedIcons();
        }
    };
    Report report {this, saveCount};
    platform::WaitCursor wait;
    for (const QString& source : Sources.value_or(QStringList {QString()})) {
        try {
            SaveAll(source, FDirDlg->Directory(), QString(), QString(), QString(), FileType, 0,
                    ExpIncludeNumbers, ExpDrawBorder, ExpGrayScale, SmallIcons, 0, saveCount, confirmResult,
                    written);
        } catch (const TSourceError& e) {
            // One listed file that gives no icons does not stop the others;
            // it is named with the rest at the end.
            if (!Sources)
                throw;
            FSkippedIcons.push_back({source, {}, e.message()});
        }
    }
}
