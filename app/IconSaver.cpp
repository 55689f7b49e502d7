#include "app/IconSaver.h"

#include "app/SaveAllWriters.h"
#include "app/Unit1.h"
#include "app/myutils.h"
#include "kxCommon/kxFileUtils.h"
#include "kxCommon/kxGraphicUtils.h"
#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "platform/MessageBoxes.h"
#include "platform/ShellIcons.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

QString completeExtension(const QString& fileName, const QString& ext)
{
    const QString e = ExtractFileExt(fileName);
    return e.isEmpty() || e == u"." ? fileName + u'.' + ext : fileName;
}

// Replacing the file the icons are read from would destroy them.
void refuseSource(const QString& Source, const QString& Dest)
{
    if (!Source.isEmpty() && platform::isSameFile(Source, Dest))
        throw platform::Error(
            QStringLiteral("'%1' is the file the icons come from; it is not replaced.").arg(Dest));
}

QString runKey(const QString& Name) { return QFileInfo(Name).absoluteFilePath(); }

// A page's pictures folder by its own name, in the page's folder resolved.
QString pageSideFolder(QString PicturesDir)
{
    while (PicturesDir.size() > 1 && PicturesDir.endsWith(u'/'))
        PicturesDir.chop(1);
    const QFileInfo info(PicturesDir);
    return JoinPath(platform::resolvedFolder(info.path()), info.fileName());
}

[[noreturn]] void throwNoneReadable(const QString& Source)
{
    throw TSourceError(QStringLiteral("No icon of \"%1\" can be read.").arg(Source));
}

[[noreturn]] void throwChanged(const QString& Source)
{
    throw TSourceError(QStringLiteral("%1 changed while it was read").arg(Source));
}

[[noreturn]] void throwTooMuchOutput(const QString& Source, qint64 Limit)
{
    constexpr qint64 MB = 1024 * 1024;
    throw TSourceError(QStringLiteral("Saving the icons of \"%1\" would write more than %2 MB, the most one "
                                      "file's icons may take (%3 times its size, %4 MB at least); saving "
                                      "stops.")
                           .arg(Source)
                           .arg(Limit / MB)
                           .arg(kRunOutputPerSourceByte)
                           .arg(kRunOutputFloor / MB));
}

// What one source's run may write.
class OutputBudget {
public:
    OutputBudget(const QString& Source, qint64 Limit) : FSource(Source), FLimit(Limit) {}
    // Throws when Files files of their own would pass the limit.
    void checkFiles(qint64 Files) const
    {
        if (Files > FLimit / kRunOutputFileBlock)
            throwTooMuchOutput(FSource, FLimit);
    }
    // Throws when the run has written past the limit.
    void check(qint64 Written) const
    {
        if (Written > FLimit)
            throwTooMuchOutput(FSource, FLimit);
    }

private:
    const QString& FSource;
    qint64 FLimit;
};

// A folder made for a run that fails goes while it is empty. Declared before
// the run's writer, so that the writer's files are gone when it goes.
class TMadeFolder {
public:
    explicit TMadeFolder(const QString& Dir) : FDir(Dir) {}
    ~TMadeFolder()
    {
        if (FMade && !FKept)
            QDir().rmdir(FDir);
    }
    TMadeFolder(const TMadeFolder&) = delete;
    TMadeFolder& operator=(const TMadeFolder&) = delete;
    void Make() { FMade = !QFileInfo::exists(FDir) && QDir().mkdir(FDir); }
    void Keep() { FKept = true; }

private:
    const QString& FDir;
    bool FMade = false;
    bool FKept = false;
};

}  // namespace

TBitCount GetColorCount(const platform::Icon& Icon)
{
    // The icon's own colour bits: drawn onto a bitmap, its alpha would be
    // gone and no icon would ever read as 32 bits.
    if (!Icon.colorBitmap().isNull())
        return ClassifyIconColours(Icon.colorBitmap());
    platform::Bitmap bmp(Icon.width(), Icon.height());
    {
        platform::BitmapPainter painter(bmp);
        Icon.draw(painter, 0, 0);
    }
    return ClassifyIconColours(bmp.image());
}

namespace {

// Source open for a run; throws TSourceError when it cannot be read as a
// regular file.
std::unique_ptr<platform::IconSourceFile> OpenSource(const QString& Source)
{
    QString reason;
    std::unique_ptr<platform::IconSourceFile> file = platform::IconSourceFile::open(Source, &reason);
    if (!file)
        throw TSourceError(QStringLiteral("Cannot read \"%1\": %2.").arg(Source, reason));
    return file;
}

}  // namespace

void CheckSourceReadable(const QString& Source) { OpenSource(Source); }

QString CompleteSaveIconFileName(const QString& FileName, int FileType)
{
    const QString ext = PictureCodeExtension(FileType);
    return completeExtension(FileName, ext.isEmpty() ? QStringLiteral("ico") : ext);
}

QString CompleteSaveAllAsOneFileName(const QString& FileName, int DestType)
{
    const QString ext = PictureCodeExtension(DestType);
    return completeExtension(FileName, ext.isEmpty() ? QStringLiteral("bmp") : ext);
}

QString SaveAllStem(const QString& Source)
{
    const QString name = Source.mid(Source.lastIndexOf(u'/') + 1);
    const QString ext = ExtractFileExt(name);
    return (name.left(name.size() - ext.size()) + u'_' + ext.mid(1)).toLower();
}

QString SaveAllFileName(const QString& DestDir, const QString& Stem, int Index, const QString& PictureExt)
{
    const QString number = QString::number(static_cast<qint64>(Index) + 1).rightJustified(4, u'0');
    return AddBackslash(DestDir) + QStringLiteral("ico_") + Stem + number + PictureExt;
}

QString NextFreeRunName(const QString& Name, const QSet<QString>& WrittenNames)
{
    if (!WrittenNames.contains(runKey(Name)))
        return Name;
    const QString ext = ExtractFileExt(Name);
    const QString base = Name.left(Name.size() - ext.size());
    for (int n = 2;; ++n) {
        const QString candidate = base + u'-' + QString::number(n) + ext;
        if (!WrittenNames.contains(runKey(candidate)))
            return candidate;
    }
}

TIconSaver::TIconSaver(const TIconGridSource& Grid, const QString& FileName)
    : FGrid(Grid), FFileName(FileName)
{}

int TIconSaver::SaveIcon(int IconIndex, const QString& FileName, int FileType, bool GrayScale)
{
    const QString name = CompleteSaveIconFileName(FileName, FileType);
    refuseSource(FFileName, name);
    // Said in the user's terms, not as the grid's index error.
    if (FGrid.Count() <= 0)
        ThrowNoIcons(FFileName);
    // An .ico file shows as one icon and is copied whole, whichever is asked for.
    if (!IsPictureCode(FileType) && ExtractFileExt(FFileName).toLower() == u".ico") {
        if (FGrid.GetIcon(0).isNull())
            throw platform::Error(BrokenIconText(FFileName, 0));
        CopyIconFile(FFileName, name, 0);
        return 1;
    }
    if (IconIndex < 0 || IconIndex >= FGrid.Count())
        throw platform::Error(QStringLiteral("\"%1\" has %2 icon(s); there is no icon %3.")
                                  .arg(FFileName)
                                  .arg(FGrid.Count())
                                  .arg(qint64 {IconIndex} + 1));
    const platform::Icon& icon = FGrid.GetIcon(IconIndex);
    // An icon that cannot be read is not saved as a blank one.
    if (icon.isNull())
        throw platform::Error(BrokenIconText(FFileName, IconIndex));
    if (!IsPictureCode(FileType))
        return WriteIconGroupFile(OpenIconGroupSource(FFileName), name, IconIndex);
    SaveBitmapToFile(DrawIconBitmap(icon, icon.width(), icon.height(), GrayScale), name, FileType);
    return 1;
}

void TIconSaver::SaveAllAsOne(const QString& FileName, int DestType, bool GrayScale)
{
    const QString name = CompleteSaveAllAsOneFileName(FileName, DestType);
    refuseSource(FFileName, name);
    FSkipped.clear();
    if (FGrid.Count() <= 0)
        ThrowNoIcons(FFileName);
    const int64_t width = int64_t {std::min(FGrid.Count(), FGrid.ColCount())} * FGrid.ColWidth() + 2;
    const int64_t height = FGrid.Height();
    CheckGridPictureSize(FGrid.Count(), width, height, QStringLiteral("saved"));
    QList<int> unreadable;
    for (int i = 0; i < FGrid.Count(); ++i)
        if (FGrid.GetIcon(i).isNull())
            unreadable.append(i);
    if (unreadable.size() == FGrid.Count())
        throwNoneReadable(FFileName);
    platform::Bitmap bmp(0, 0, GrayScale ? platform::PixelFormat::Bits24 : platform::PixelFormat::Device);
    bmp.setSize(static_cast<int>(width), static_cast<int>(height));
    {
        platform::BitmapPainter painter(bmp);
        FGrid.DrawAll(painter);
    }
    if (GrayScale)
        GrayscaleBitmap(bmp);
    SaveBitmapToFile(bmp, name, DestType);
    FSkipped = unreadable;
}

bool TIconSaver::MayOverwrite(const QString& Name, uint16_t& Answer, uint16_t& ConfirmResult) const
{
    if (BatchMode || !QFileInfo::exists(Name))
        return true;
    if (Answer != platform::mrYesToAll && Answer != platform::mrNoToAll) {
        platform::MessageRequest request;
        request.caption = QStringLiteral("Pictorium");
        request.text = FormatUIText(GetMessageText(609), {Name});
        request.type = platform::MsgType::Confirmation;
        request.buttons = platform::mbYes | platform::mbNo | platform::mbNoToAll | platform::mbYesToAll;
        // A box closed without an answer replaces nothing.
        request.escape = platform::mrNo;
        Answer = static_cast<uint16_t>(platform::messageBoxes().show(request));
        if (Answer == platform::mrYesToAll || Answer == platform::mrNoToAll)
            ConfirmResult = Answer;
    }
    return Answer == platform::mrYes || Answer == platform::mrYesToAll;
}

namespace {

// The N icons of Source (null where one cannot be read) and the count K of
// those that can. Throws TSourceError when it holds none that can be read.
std::vector<platform::Icon> sourceIcons(const platform::IconSourceFile& File, bool FromGrid, int N,
                                        bool Small, qint64& K)
{
    const QString& Source = File.path();
    if (N <= 0)
        ThrowNoIcons(Source);
    std::vector<platform::Icon> icons
        = File.icons(Small ? platform::kSmallIconSize : platform::kLargeIconSize, 0, N);
    icons.resize(static_cast<size_t>(N));
    K = std::count_if(icons.begin(), icons.end(), [](const platform::Icon& i) { return !i.isNull(); });
    const QString SrcExt = ExtractFileExt(Source).toLower().mid(1);
    if (K <= 0 && (SrcExt == u"exe" || SrcExt == u"dll" || SrcExt == u"ocx" || SrcExt == u"ico")) {
        // The grid shows a module without icons with its file type's icon.
        if (FromGrid && File.source().count <= 0)
            ThrowNoIcons(Source);
        throwNoneReadable(Source);
    }
    return icons;
}

// Runs Read, a run's reading of File, and throws TSourceError when File
// changed meanwhile: a source rewritten in place while it was read would
// give an export of two files' icons, and one cut short where the run had
// not read it yet is the source's fault, not the writer's.
template <typename Read>
void readUnchanged(const platform::IconSourceFile& File, const QString& Source, Read read)
{
    try {
        read();
    } catch (const TSourceError&) {
        throw;
    } catch (const platform::Error&) {
        if (File.changed())
            throwChanged(Source);
        throw;
    }
    if (File.changed())
        throwChanged(Source);
}

}  // namespace

TSaveAllTarget TIconSaver::RunTarget(const platform::IconSourceFile& File, bool FromGrid, bool Small,
                                     TSaveAllTarget Target) const
{
    const int side = Small ? platform::kSmallIconSize : platform::kLargeIconSize;
    Target.Width = FromGrid ? FGrid.ItemWidth() : side;
    Target.Height = FromGrid ? FGrid.ItemHeight() : side;
    Target.SourceFile = &File;
    return Target;
}

void TIconSaver::SaveAll(const QString& SrcFileName, const QString& DestDir, const QString& DestFileName,
                         const QString& DestExt, const QString& DBFFieldName, int FileType, int DBFType,
                         bool IncludeNumbers, bool DrawBorders, bool GrayScale, bool Small,
                         int TargetImageType, int& SaveCount, uint16_t& ConfirmResult,
                         QSet<QString>& WrittenNames)
{
    uint16_t Answer = ConfirmResult;
    const QString Source = SrcFileName.isEmpty() ? FFileName : SrcFileName;
    // Only the grid's own file may borrow the grid's icon for one it lacks.
    const bool gridFile
        = SrcFileName.isEmpty() || SrcFileName == FFileName || platform::isSameFile(SrcFileName, FFileName);
    // Opened once: every icon, group and byte of the run comes from this one
    // file, whatever is renamed over its name meanwhile.
    const std::unique_ptr<platform::IconSourceFile> file = OpenSource(Source);
    const int N = SrcFileName.isEmpty() ? FGrid.Count() : file->source().count;
    FSkipped.clear();

    // The source is looked at first, so that a bad one leaves no folder.
    qint64 K = 0;
    const std::vector<platform::Icon> icons = sourceIcons(*file, SrcFileName.isEmpty(), N, Small, K);
    OutputBudget budget(Source,
                        FRunOutputLimit > 0 ? FRunOutputLimit : RunOutputLimit(file->identity().size));
    // Every name is written in the case the caller gave it.
    TSaveAllTarget target = RunTarget(*file, SrcFileName.isEmpty(), Small,
                                      {Source, DestDir, DestFileName, DestExt, DBFFieldName, FileType,
                                       DBFType, TargetImageType, IncludeNumbers, DrawBorders, GrayScale});
    TMadeFolder madeFolder(DestDir);
    const std::unique_ptr<TSaveAllWriter> writer = MakeSaveAllWriter(target);
    const QString numberedExt = writer->NumberedFileExt();
    // Every readable icon that becomes a file of its own counts against the
    // run's output before anything is written.
    if (!numberedExt.isEmpty())
        budget.checkFiles(K);

    madeFolder.Make();
    // Every file of the run is written, put in place and removed in the
    // folders the names lead to now, whatever a link among them leads to
    // later. A page's pictures folder is named from the page as given.
    const QString runDir = platform::resolvedFolder(DestDir);
    target.DestDir = FileType == kHtmlPage ? pageSideFolder(DestDir) : runDir;
    for (const QString& name : writer->Start())
        refuseSource(Source, name);
    const QString Stem = SaveAllStem(Source);
    QStringList written;
    readUnchanged(*file, Source, [&] {
        for (int i = 0; i < N; ++i) {
            platform::Icon handle = icons[static_cast<size_t>(i)];
            if (handle.isNull() && gridFile && FGrid.Count() == 1)
                handle = FGrid.GetIcon(0);  // icons share their pixels: the grid keeps its own
            // An icon that cannot be read is left out, and said so, by every kind.
            if (handle.isNull()) {
                FSkipped.append(i);
                continue;
            }
            QString Name;
            if (!numberedExt.isEmpty()) {
                Name = NextFreeRunName(SaveAllFileName(runDir, Stem, i, numberedExt), WrittenNames);
                refuseSource(Source, Name);
                if (!MayOverwrite(Name, Answer, ConfirmResult))
                    continue;
                written << Name;
            }
            writer->Add(i, handle, Name);
            budget.check(writer->Output());
        }
    });
    SaveCount += writer->Finish();
    for (const QString& name : std::as_const(written))
        WrittenNames.insert(runKey(name));
    if (FSkipped.size() == N) {
        FSkipped.clear();  // said once, by the error
        throwNoneReadable(Source);
    }
    madeFolder.Keep();
}
