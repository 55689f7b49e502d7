// The command line: a file to open, or a batch export of one file's icons.
#include "app/Unit1.h"

#include "app/CommandLine.h"
#include "app/myutils.h"
#include "kxCommon/KXImageBox.h"
#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

namespace {

struct WaitCursor {
    bool active = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    WaitCursor()
    {
        if (active)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WaitCursor()
    {
        if (active)
            QApplication::restoreOverrideCursor();
    }
};

const QString kLineBreak = QStringLiteral("\r\n");

}  // namespace

void TForm1::WMRunCommandLine()
{
    if (FCommandLineHandled)
        return;
    FCommandLineHandled = true;
    // On every way out; queued, so that an escaping exception is shown first.
    struct Handled {
        TForm1* form;
        ~Handled()
        {
            if (form->OnCommandLineHandled)
                QMetaObject::invokeMethod(
                    form, [f = form] { f->OnCommandLineHandled(); }, Qt::QueuedConnection);
        }
    } handled{this};

    if (FParams.isEmpty()) {
        if (Run == 1)
            HelpBtnClick();
        return;
    }

    const TCommandLine commandLine = TCommandLine::Parse(FParams);
    BatchMode = true;
    struct BatchModeOff {
        ~BatchModeOff() { BatchMode = false; }
    } batchModeOff;
    const QString errorHead = GetUIText(608);

    // The process's folder never changes, so it is the one started in.
    const QString startDir = QDir::currentPath();
    const QString source = ResolvePath(startDir, commandLine.Source());
    QString error;
    if (!QFileInfo(source).isFile()) {
        error = errorHead + kLineBreak + FormatUIText(GetUIText(605), {source});
    } else {
        SelectFile(source);
        if (!commandLine.Export)
            return;
        error = RunCommandLineExport(commandLine, source, startDir);
        if (!error.isEmpty())
            error = errorHead + kLineBreak + error;
    }
    if (!error.isEmpty())
        platform::messageBoxes().show(
            {ApplicationTitle(), error, platform::MsgType::Error, platform::mbOK, platform::mrOk});
}

QString TForm1::RunCommandLineExport(const TCommandLine& CommandLine, const QString& Source,
                                     const QString& StartDir)
{
    if (CommandLine.SmallIcons)
        FScrollBox->ImageBox()->SetIconSizing(isSmall);
    if (CommandLine.Dest().trimmed().isEmpty())
        return GetUIText(604);

    int SaveCount = 0;
    {
        WaitCursor wait;
        const QString Dest = ResolvePath(StartDir, CommandLine.Dest());
        const TExportPlan plan = PlanExport(CommandLine, Dest);
        switch (plan.Action) {
        case TExportPlan::SaveOneIcon:
            SaveCount = SaveIcon(plan.IconIndex - 1, Dest, plan.FileType, CommandLine.GrayScale);
            if (SaveCount > 0 && CommandLine.OpenDestination)
                OpenWithShell(plan.OpenFile, plan.DestType);
            break;
        case TExportPlan::SaveGridAsOne:
            SaveAllAsOne(Dest, plan.FileType, CommandLine.GrayScale);
            break;
        case TExportPlan::SaveEveryIcon: {
            // A file in the folder's place would take none of the icons.
            if (plan.MakeDestFolder && !QFileInfo(plan.DestDir).isDir() && !QDir().mkdir(plan.DestDir))
                return FormatUIText(GetUIText(615), {plan.DestDir});
            uint16_t ConfirmResult = 0;
            QSet<QString> written;
            SaveAll(Source, plan.DestDir, Dest, plan.DestExt, CommandLine.DBFFieldName, plan.FileType,
                    plan.DBFType, CommandLine.IncludeNumbers, CommandLine.DrawBorders, CommandLine.GrayScale,
                    CommandLine.SmallIcons, plan.TargetImageType, SaveCount, ConfirmResult, written);
            break;
        }
        }
        // An export that found nothing to write leaves no file to open.
        if (plan.Action != TExportPlan::SaveOneIcon && CommandLine.OpenDestination && !plan.OpenFile.isEmpty() &&
            QFileInfo::exists(plan.OpenFile))
            OpenWithShell(plan.OpenFile, plan.DestType);
    }

    if (CommandLine.CloseWhenDone)
        close();
    else if (!CommandLine.AllAsOne)
        platform::messageBoxes().show({ApplicationTitle(), FormatUIText(GetUIText(602), {SaveCount}),
                                       platform::MsgType::Information, platform::mbOK, platform::mrOk});
    return {};
}
