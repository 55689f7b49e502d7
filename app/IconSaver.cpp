#include "app/IconSaver.h"

#include "app/DbaseExport.h"
#include "app/HtmlExport.h"
#include "app/PdfExport.h"
#include "app/Unit1.h"
#include "app/myutils.h"
#include "kxCommon/kxFileUtils.h"
#include "kxCommon/kxGraphicUtils.h"
#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "platform/MessageBoxes.h"
#include "platform/ShellIcons.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kHtmlPage = 11;
constexpr int kDbaseTable = 12;
constexpr int kPdfDocument = 13;

QString completeExtension(const QString& fileName, const QString& ext)
{
    const QString e = ExtractFileExt(fileName);
    return e.isEmpty() || e == u"." ? fileName + u'.' + ext : fileName;
}

QString pictureCodeExtension(int code)
{
    switch (code) {
    case kImageFormatBmp: return QStringLiteral("bmp");
    case kImageFormatJpeg: return QStringLiteral("jpg");
    case kImageFormatEmf: return QStringLiteral("emf");
    case kImageFormatGif: return QStringLiteral("gif");
    case kImageFormatPng: return QStringLiteral("png");
    default: return {};
    }
}

bool isPictureCode(int code) { return code >= kImageFormatBmp && code <= kImageFormatPng; }

int htmlPictureCode(int TargetImageType)
{
    return TargetImageType == 1 ? kImageFormatJpeg : TargetImageType == 2 ? kImageFormatGif : kImageFormatPng;
}

// Replacing the file the icons are read from would destroy them.
void refuseSource(const QString& Source, const QString& Dest)
{
    if (!Source.isEmpty() && platform::isSameFile(Source, Dest))
        throw platform::Error(
            QStringLiteral("'%1' is the file the icons come from; it is not replaced.").arg(Dest));
}

QString runKey(const QString& Name) { return QFileInfo(Name).absoluteFilePath(); }

[[noreturn]] void throwNoIcons(const QString& Source)
{
    throw TSourceError(QStringLiteral("\"%1\" holds no icons.").arg(Source));
}

[[noreturn]] void throwNoneReadable(const QString& Source)
{
    throw TSourceError(QStringLiteral("No icon of \"%1\" can be read.").arg(Source));
}

QString brokenIconText(const QString& Source, int Index)
{
    return QStringLiteral("Icon %1 of \"%2\" cannot be read.").arg(qint64 {Index} + 1).arg(Source);
}

// Writes a whole file or throws with the reason.
void writeWhole(const QString& Name, const QByteArray& Bytes)
{
    QString error;
    switch (platform::replaceFile(Name, Bytes, &error)) {
    case platform::WriteResult::Written: return;
    case platform::WriteResult::NotCreated:
        throw platform::InOutError(QStringLiteral("Cannot create file \"%1\". %2").arg(Name, error));
    case platform::WriteResult::WriteFailed: break;
    }
    throw platform::InOutError(QStringLiteral("Error writing file \"%1\". %2").arg(Name, error));
}

// The .ico file of group Index of a module, written whole, or an exception
// that says why not.
int writeIconGroup(const IconGroupSource& Group, const QString& Name, int Index)
{
    const QString& Source = Group.FileName;
    int ImageCount = 0;
    QString ErrorText;
    if (!ExtractIconGroupToFile(Group, Name, Index, ImageCount, ErrorText))
        throwNoIcons(Source);
    if (ImageCount > 0)
        return ImageCount;
    if (ErrorText.isEmpty())
        throw platform::Error(brokenIconText(Source, Index));
    // The reader's texts name the source; the writer's is the system's own.
    if (!ErrorText.contains(Source))
        throw platform::InOutError(QStringLiteral("Cannot write file \"%1\". %2").arg(Name, ErrorText));
    throw platform::Error(ErrorText);
}

// The .ico file Source copied whole after its check; the bytes written.
qint64 copyIconFile(const QString& Source, const QString& Name, int Index)
{
    QString ErrorText;
    const QByteArray bytes = ReadValidIconFile(Source, Index, ErrorText);
    if (bytes.isEmpty())
        throw platform::Error(ErrorText);
    writeWhole(Name, bytes);
    return bytes.size();
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

// What one source's run has written, against its limit.
class OutputBudget {
public:
    OutputBudget(const QString& Source, qint64 Limit) : FSource(Source), FLimit(Limit) {}
    // Throws when Files more files of their own would pass the limit.
    void checkFiles(qint64 Files) const
    {
        if (Files > (FLimit - FFiles) / kRunOutputFileBlock)
            throwTooMuchOutput(FSource, FLimit);
    }
    // A file of its own of Bytes; Other: what a page, table or document holds.
    void addFile(qint64 Bytes) { FFiles += std::max(Bytes, kRunOutputFileBlock); }
    void check(qint64 Other = 0) const
    {
        if (FFiles + Other > FLimit)
            throwTooMuchOutput(FSource, FLimit);
    }

private:
    const QString& FSource;
    qint64 FLimit;
    qint64 FFiles = 0;
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

qint64 RunOutputLimit(qint64 SourceSize)
{
    if (SourceSize <= kRunOutputFloor / kRunOutputPerSourceByte)
        return kRunOutputFloor;
    if (SourceSize > std::numeric_limits<qint64>::max() / kRunOutputPerSourceByte)
        return std::numeric_limits<qint64>::max();
    return SourceSize * kRunOutputPerSourceByte;
}

void CheckSourceReadable(const QString& Source)
{
    // Not blocking: a FIFO in the file's place must not hang the save.
    const int fd = ::open(QFile::encodeName(Source).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw TSourceError(QStringLiteral("Cannot read \"%1\": %2.")
                               .arg(Source, QString::fromLocal8Bit(std::strerror(errno))));
    struct stat st {};
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular)
        throw TSourceError(QStringLiteral("Cannot read \"%1\": it is not a regular file.").arg(Source));
}

QString CompleteSaveIconFileName(const QString& FileName, int FileType)
{
    const QString ext = pictureCodeExtension(FileType);
    return completeExtension(FileName, ext.isEmpty() ? QStringLiteral("ico") : ext);
}

QString CompleteSaveAllAsOneFileName(const QString& FileName, int DestType)
{
    const QString ext = pictureCodeExtension(DestType);
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
        throwNoIcons(FFileName);
    // An .ico file shows as one icon and is copied whole, whichever is asked for.
    if (!isPictureCode(FileType) && ExtractFileExt(FFileName).toLower() == u".ico") {
        if (FGrid.GetIcon(0).isNull())
            throw platform::Error(brokenIconText(FFileName, 0));
        copyIconFile(FFileName, name, 0);
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
        throw platform::Error(brokenIconText(FFileName, IconIndex));
    if (!isPictureCode(FileType))
        return writeIconGroup(OpenIconGroupSource(FFileName), name, IconIndex);
    platform::Bitmap bmp(0, 0, GrayScale ? platform::PixelFormat::Bits24 : platform::PixelFormat::Device);
    bmp.setSize(icon.width(), icon.height());
    {
        platform::BitmapPainter painter(bmp);
        icon.draw(painter, 0, 0);
    }
    if (GrayScale)
        GrayscaleBitmap(bmp);
    SaveBitmapToFile(bmp, name, FileType);
    return 1;
}

void TIconSaver::SaveAllAsOne(const QString& FileName, int DestType, bool GrayScale)
{
    const QString name = CompleteSaveAllAsOneFileName(FileName, DestType);
    refuseSource(FFileName, name);
    FSkipped.clear();
    if (FGrid.Count() <= 0)
        throwNoIcons(FFileName);
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

void TIconSaver::PrepareBitmap(int W, int H, bool GrayScale)
{
    FBmp.clear();
    if (GrayScale)
        FBmp.setPixelFormat(platform::PixelFormat::Bits24);
    FBmp.setSize(W, H);
    {
        platform::BitmapPainter painter(FBmp);
        FIcon.draw(painter, 0, 0);
    }
    if (GrayScale)
        GrayscaleBitmap(FBmp);
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

void TIconSaver::SaveAll(const QString& SrcFileName, const QString& DestDir, const QString& DestFileName,
                         const QString& DestExt, const QString& DBFFieldName, int FileType, int DBFType,
                         bool IncludeNumbers, bool DrawBorders, bool GrayScale, bool Small,
                         int TargetImageType, int& SaveCount, uint16_t& ConfirmResult,
                         QSet<QString>& WrittenNames)
{
    if (!isPictureCode(FileType) && FileType != kHtmlPage && FileType != kDbaseTable
        && FileType != kPdfDocument)
        FileType = kImageFormatIco;

    QString pictureExt;
    if (FileType == kImageFormatIco)
        pictureExt = QStringLiteral(".ico");
    else if (isPictureCode(FileType))
        pictureExt = u'.' + pictureCodeExtension(FileType);
    else if (FileType == kHtmlPage)
        pictureExt = u'.' + pictureCodeExtension(htmlPictureCode(TargetImageType));

    QString destExt = DestExt.toLower();
    if (destExt.isEmpty())
        destExt = FileType == kHtmlPage ? QStringLiteral(".htm")
            : FileType == kDbaseTable   ? QStringLiteral(".dbf")
            : FileType == kPdfDocument  ? QStringLiteral(".pdf")
                                        : pictureExt;

    uint16_t Answer = ConfirmResult;
    const QString Source = SrcFileName.isEmpty() ? FFileName : SrcFileName;
    // Only the grid's own file may borrow the grid's icon for one it lacks.
    const bool gridFile
        = SrcFileName.isEmpty() || SrcFileName == FFileName || platform::isSameFile(SrcFileName, FFileName);
    // Before the first read, so that one file is read from start to end.
    const std::optional<platform::FileIdentity> sourceIdentity = platform::fileIdentity(Source);
    if (!SrcFileName.isEmpty())
        CheckSourceReadable(Source);
    const int N = SrcFileName.isEmpty() ? FGrid.Count() : platform::iconCount(Source);
    const QString SrcExt = ExtractFileExt(Source).toLower().mid(1);
    const QString Stem = SaveAllStem(Source);
    FSkipped.clear();

    // The source is looked at first, so that a bad one leaves no folder.
    if (N <= 0)
        throwNoIcons(Source);
    std::vector<platform::Icon> icons
        = platform::extractIcons(Source, Small ? platform::kSmallIconSize : platform::kLargeIconSize, 0, N);
    icons.resize(static_cast<size_t>(N));
    const auto K
        = std::count_if(icons.begin(), icons.end(), [](const platform::Icon& i) { return !i.isNull(); });
    if (K <= 0 && (SrcExt == u"exe" || SrcExt == u"dll" || SrcExt == u"ocx" || SrcExt == u"ico")) {
        // The grid shows a module without icons with its file type's icon.
        if (SrcFileName.isEmpty() && platform::iconCount(Source) <= 0)
            throwNoIcons(Source);
        throwNoneReadable(Source);
    }
    OutputBudget budget(Source,
                        FRunOutputLimit > 0 ? FRunOutputLimit : RunOutputLimit(QFileInfo(Source).size()));
    // Every readable icon becomes a file of its own but in a table or a
    // document: too many of them are refused before anything is written.
    if (FileType != kDbaseTable && FileType != kPdfDocument)
        budget.checkFiles(K);

    // A folder made for a run that fails goes while it is empty; declared
    // first, so that the exports' files are gone when it goes.
    struct DropMadeFolder {
        const QString& dir;
        bool made = false;
        bool done = false;
        ~DropMadeFolder()
        {
            if (made && !done)
                QDir().rmdir(dir);
        }
    } madeFolder {DestDir};
    madeFolder.made = !QFileInfo::exists(DestDir) && QDir().mkdir(DestDir);
    std::optional<HtmlExport> page;
    std::optional<DbaseExport> table;
    std::optional<PdfExport> document;
    if (FileType == kHtmlPage) {
        page.emplace(Source, DestDir, destExt, HtmlColumnCount, IncludeNumbers, DrawBorders);
        refuseSource(Source, page->pageFileName());
    } else if (FileType == kDbaseTable) {
        table.emplace(DestDir, DestFileName, destExt, DBFFieldName);
        refuseSource(Source, table->tableFileName());
        refuseSource(Source, table->memoFileName());
    } else if (FileType == kPdfDocument) {
        document.emplace(DestDir, DestFileName, IncludeNumbers, DrawBorders);
        refuseSource(Source, document->documentFileName());
    }

    // What a page, table or document holds counts once it is written whole.
    int stored = 0;
    // The module is opened at the first group saved, and once for the run.
    std::optional<IconGroupSource> groups;
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
        if (FileType != kDbaseTable && FileType != kPdfDocument) {
            Name = NextFreeRunName(SaveAllFileName(DestDir, Stem, i, pictureExt), WrittenNames);
            refuseSource(Source, Name);
            if (!MayOverwrite(Name, Answer, ConfirmResult))
                continue;
        }

        if (FileType == kImageFormatIco) {
            if (SrcExt != u"ico") {
                if (!groups)
                    groups = OpenIconGroupSource(Source);
                writeIconGroup(*groups, Name, i);
                budget.addFile(QFileInfo(Name).size());
            } else
                budget.addFile(copyIconFile(Source, Name, i));
            ++SaveCount;
            WrittenNames.insert(runKey(Name));
            budget.check();
            continue;
        }

        int W, H;
        if (!SrcFileName.isEmpty()) {
            W = H = Small ? platform::kSmallIconSize : platform::kLargeIconSize;
        } else {
            W = FGrid.ItemWidth();
            H = FGrid.ItemHeight();
        }
        FIcon = handle;

        if (FileType == kDbaseTable) {
            QByteArray data;
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            if (isPictureCode(DBFType)) {
                PrepareBitmap(W, H, GrayScale);
                SaveBitmapToStream(FBmp, buffer, DBFType);
            } else {
                SaveIconToStream(buffer, FIcon);
            }
            table->addIcon(i, data);
            ++stored;
            budget.check(table->bytesWritten());
            continue;
        }

        PrepareBitmap(W, H, GrayScale);
        if (isPictureCode(FileType)) {
            SaveBitmapToFile(FBmp, Name, FileType);
            budget.addFile(QFileInfo(Name).size());
        } else if (FileType == kHtmlPage) {
            QByteArray picture;
            QBuffer buffer(&picture);
            buffer.open(QIODevice::WriteOnly);
            SaveBitmapToStream(FBmp, buffer, htmlPictureCode(TargetImageType));
            page->addPicture(Name, picture);
            page->addCell(i, Name, W, H);
            budget.addFile(picture.size());
        } else {
            document->addIcon(i, FBmp);
        }
        if (!Name.isEmpty())
            WrittenNames.insert(runKey(Name));
        if (isPictureCode(FileType))
            ++SaveCount;
        else
            ++stored;
        budget.check(document ? document->bytesWritten() : 0);
    }

    // A file renamed over the source, or rewritten, while it was read would
    // give an export of two files' icons.
    if (platform::fileIdentity(Source) != sourceIdentity)
        throw TSourceError(QStringLiteral("%1 changed while it was read").arg(Source));
    if (page && page->pageCreated())
        page->finish();
    if (table && table->filesCreated())
        table->finish();
    if (document && document->documentCreated())
        document->finish();
    SaveCount += stored;
    if (FSkipped.size() == N) {
        FSkipped.clear();  // said once, by the error
        throwNoneReadable(Source);
    }
    madeFolder.done = true;
}
