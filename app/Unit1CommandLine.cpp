// The command line: a file to open, or a batch export of one file's icons.
#include "app/Unit1.h"

#include "app/CommandLine.h"
#include "app/IconSaver.h"
#include "app/myutils.h"
#include "kxCommon/KXImageBox.h"
#include "platform/Exceptions.h"
#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <exception>

#include <sys/stat.h>

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

// Why Source cannot be opened as a file, or nullopt when it can. A missing
// file is said in the pack's words; every other cause by its own.
std::optional<QString> SourceError(const QString& Source)
{
    struct stat st {};
    if (stat(QFile::encodeName(Source).constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR || Source.isEmpty())
            return FormatUIText(GetMessageText(605), {Source});
        return QStringLiteral("Cannot open \"%1\": %2")
            .arg(Source, QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("\"%1\" is a folder, not a file.").arg(Source);
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("\"%1\" is not a regular file.").arg(Source);
    return std::nullopt;
}

// The text the toolkit's guard shows for an exception; none for the silent
// abort.
std::optional<QString> EscapedMessage(const std::exception_ptr& Escaped)
{
    try {
        std::rethrow_exception(Escaped);
    } catch (const platform::Abort&) {
    } catch (const std::exception& e) {
        return platform::messageOf(e);
    } catch (...) {}
    return std::nullopt;
}

}  // namespace

void TForm1::WMRunCommandLine()
{
    if (FCommandLineHandled)
        return;
    // The start-up search lets posted calls through; the command line runs
    // after it, as it would after a search that ran before the loop.
    if (FInSearch) {
        FCommandLineWaiting = true;
        return;
    }
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
    } handled {this};

    try {
        RunCommandLine();
    } catch (...) {
        // The toolkit's guard shows it; the run failed with its message.
        if (const auto message = EscapedMessage(std::current_exception()); message && FCommandLineStatus != 0)
            FCommandLineFailures.push_back(
                {ApplicationTitle(), *message, platform::MsgType::Error, platform::mbOK, platform::mrOk});
        // After the toolkit has shown what escaped.
        QMetaObject::invokeMethod(
            this, [this] { ShowStartupNotices(); }, Qt::QueuedConnection);
        throw;
    }
    ShowStartupNotices();
}

void TForm1::RunCommandLine()
{
    if (FParams.isEmpty()) {
        if (Run == 1)
            HelpBtnClick();
        return;
    }

    const TCommandLine commandLine = TCommandLine::Parse(FParams);
    // Until the run ends well; an exception that escapes leaves it so.
    FCommandLineStatus = 1;
    BatchMode = true;
    struct BatchModeOff {
        ~BatchModeOff() { BatchMode = false; }
    } batchModeOff;
    const QString errorHead = GetMessageText(608);

    // The process's folder never changes, so it is the one started in.
    const QString startDir = QDir::currentPath();
    const QString source = ResolvePath(startDir, commandLine.Source());
    std::optional<QString> error = SourceError(source);
    if (!error && commandLine.Export && !commandLine.Errors.isEmpty())
        error = commandLine.Errors.join(kLineBreak);
    if (!error) {
        SelectFile(source);
        if (!commandLine.Export) {
            FCommandLineStatus = 0;
            return;
        }
        error = RunCommandLineExport(commandLine, source, startDir);
    }
    if (!error)
        return;
    const platform::MessageRequest box {ApplicationTitle(), errorHead + kLineBreak + *error,
                                        platform::MsgType::Error, platform::mbOK, platform::mrOk};
    FCommandLineFailures.push_back(box);
    platform::messageBoxes().show(box);
}

std::optional<QString> TForm1::RunCommandLineExport(const TCommandLine& CommandLine, const QString& Source,
                                                    const QString& StartDir)
{
    if (CommandLine.SmallIcons)
        FScrollBox->ImageBox()->SetIconSizing(isSmall);
    if (CommandLine.Dest().trimmed().isEmpty())
        return GetMessageText(604);
    // Said as what it is, before anything is made for the export.
    try {
        CheckSourceReadable(Source);
    } catch (const platform::Error& e) {
        return e.message();
    }

    int SaveCount = 0;
    std::optional<platform::MessageRequest> skipped;
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
            FSkippedIcons.clear();
            SaveAllAsOne(Dest, plan.FileType, CommandLine.GrayScale);
            skipped = ReportSkippedIcons();
            break;
        case TExportPlan::SaveEveryIcon: {
            // A file in the folder's place would take none of the icons.
            const bool madeDir = plan.MakeDestFolder && !QFileInfo(plan.DestDir).isDir();
            if (madeDir && !QDir().mkdir(plan.DestDir))
                return FormatUIText(GetMessageText(615), {plan.DestDir});
            // A failed run leaves no empty folder of its own behind.
            struct DropEmptyFolder {
                QString dir;
                bool armed;
                ~DropEmptyFolder()
                {
                    if (armed)
                        QDir().rmdir(dir);
                }
            } dropEmptyFolder {plan.DestDir, madeDir};
            uint16_t ConfirmResult = 0;
            QSet<QString> written;
            FSkippedIcons.clear();
            SaveAll(Source, plan.DestDir, Dest, plan.DestExt, CommandLine.DBFFieldName, plan.FileType,
                    plan.DBFType, CommandLine.IncludeNumbers, CommandLine.DrawBorders, CommandLine.GrayScale,
                    CommandLine.SmallIcons, plan.TargetImageType, SaveCount, ConfirmResult, written);
            dropEmptyFolder.armed = false;
            skipped = ReportSkippedIcons();
            break;
        }
        }
        // An export that found nothing to write leaves no file to open.
        if (plan.Action != TExportPlan::SaveOneIcon && CommandLine.OpenDestination && !plan.OpenFile.isEmpty()
            && QFileInfo::exists(plan.OpenFile))
            OpenWithShell(plan.OpenFile, plan.DestType);
    }

    // Icons left out make the export incomplete: the run's status says so.
    FCommandLineStatus = skipped ? 1 : 0;
    if (skipped)
        FCommandLineFailures.push_back(*skipped);
    if (CommandLine.CloseWhenDone)
        close();
    else if (!CommandLine.AllAsOne)
        platform::messageBoxes().show({ApplicationTitle(), FormatUIText(GetMessageText(602), {SaveCount}),
                                       platform::MsgType::Information, platform::mbOK, platform::mrOk});
    return std::nullopt;
}
