#include "app/SaveAllWriters.h"

#include "app/DbaseExport.h"
#include "app/HtmlExport.h"
#include "app/PdfExport.h"
#include "app/SaveAllRun.h"
#include "app/Unit1.h"
#include "kxCommon/kxFileUtils.h"
#include "kxCommon/kxGraphicUtils.h"
#include "platform/Exceptions.h"
#include "platform/FileSet.h"
#include "platform/FileSystem.h"

#include <QBuffer>
#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

int htmlPictureCode(int TargetImageType)
{
    return TargetImageType == 1 ? kImageFormatJpeg : TargetImageType == 2 ? kImageFormatGif : kImageFormatPng;
}

// The bytes of a picture or icon file made in memory.
template <typename Write> QByteArray inMemory(Write write)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    write(buffer);
    return data;
}

// Numbered files of their own, one per icon, put in place together when the
// run ends, so that a run that fails replaces none of them.
class NumberedFiles : public TSaveAllWriter {
public:
    qint64 Output() const override { return FOutput; }
    int Finish() override
    {
        QString failed, reason;
        if (!FFiles.commit(&failed, &reason))
            throw platform::InOutError(QStringLiteral("Cannot write file \"%1\". %2").arg(failed, reason));
        return std::exchange(FAdded, 0);
    }

protected:
    void put(const QString& Name, QByteArrayView Bytes)
    {
        QString reason;
        platform::checkWritten(FFiles.add(Name, Bytes, &reason), Name, reason);
        FOutput += std::max(qint64 {Bytes.size()}, kRunOutputFileBlock);
        ++FAdded;
    }

private:
    platform::FileSet FFiles;  // written and closed one by one: a run may make 65,535
    qint64 FOutput = 0;
    int FAdded = 0;
};

// Every icon group copied into an .ico file; an .ico source copied whole.
class IconFiles final : public NumberedFiles {
public:
    explicit IconFiles(const TSaveAllTarget& Target)
        : FSource(*Target.SourceFile), FCopy(ExtractFileExt(Target.Source).toLower() == u".ico")
    {}
    QString NumberedFileExt() const override { return QStringLiteral(".ico"); }
    void Add(int Index, const platform::Icon&, const QString& Name) override
    {
        // Groups and bytes come from the file the icons were read from.
        if (FCopy) {
            put(Name, IconFileBytes(FSource, Index));
            return;
        }
        if (!FGroups)
            FGroups = OpenIconGroupSource(FSource);
        int ImageCount = 0;
        put(Name, IconGroupFileBytes(*FGroups, Name, Index, ImageCount));
    }

private:
    const platform::IconSourceFile& FSource;
    bool FCopy;
    std::optional<IconGroupSource> FGroups;
};

// Every icon drawn into a picture file.
class PictureFiles final : public NumberedFiles {
public:
    explicit PictureFiles(const TSaveAllTarget& Target) : FTarget(Target) {}
    QString NumberedFileExt() const override { return u'.' + PictureCodeExtension(FTarget.FileType); }
    void Add(int, const platform::Icon& Icon, const QString& Name) override
    {
        put(Name,
            encodeBitmap(DrawIconBitmap(Icon, FTarget.Width, FTarget.Height, FTarget.GrayScale),
                         FTarget.FileType));
    }

private:
    const TSaveAllTarget& FTarget;
};

// A page that shows the pictures, written with them into its folder.
class HtmlPage final : public TSaveAllWriter {
public:
    explicit HtmlPage(const TSaveAllTarget& Target) : FTarget(Target) {}
    QString NumberedFileExt() const override
    {
        return u'.' + PictureCodeExtension(htmlPictureCode(FTarget.TargetImageType));
    }
    QStringList Start() override
    {
        const QString ext = FTarget.DestExt.isEmpty() ? QStringLiteral(".htm") : FTarget.DestExt;
        FPage.emplace(FTarget.Source, FTarget.DestDir, ext, HtmlColumnCount, FTarget.IncludeNumbers,
                      FTarget.DrawBorders);
        return {FPage->pageFileName()};
    }
    void Add(int Index, const platform::Icon& Icon, const QString& Name) override
    {
        const platform::Bitmap bmp = DrawIconBitmap(Icon, FTarget.Width, FTarget.Height, FTarget.GrayScale);
        const QByteArray picture = inMemory(
            [&](QIODevice& out) { SaveBitmapToStream(bmp, out, htmlPictureCode(FTarget.TargetImageType)); });
        FPage->addPicture(Name, picture);
        FPage->addCell(Index, Name, FTarget.Width, FTarget.Height);
        FOutput += std::max(qint64 {picture.size()}, kRunOutputFileBlock);
        ++FStored;
    }
    qint64 Output() const override { return FOutput; }
    int Finish() override
    {
        if (FPage->pageCreated())
            FPage->finish();
        return FStored;
    }

private:
    const TSaveAllTarget& FTarget;
    std::optional<HtmlExport> FPage;
    qint64 FOutput = 0;
    int FStored = 0;
};

// A table with a record per icon, holding the icon or picture file's bytes.
class DbaseTable final : public TSaveAllWriter {
public:
    explicit DbaseTable(const TSaveAllTarget& Target) : FTarget(Target) {}
    QStringList Start() override
    {
        const QString ext = FTarget.DestExt.isEmpty() ? QStringLiteral(".dbf") : FTarget.DestExt;
        FTable.emplace(FTarget.DestDir, FTarget.DestFileName, ext, FTarget.DBFFieldName);
        return {FTable->tableFileName(), FTable->memoFileName()};
    }
    void Add(int Index, const platform::Icon& Icon, const QString&) override
    {
        const QByteArray data = inMemory([&](QIODevice& out) {
            if (IsPictureCode(FTarget.DBFType))
                SaveBitmapToStream(DrawIconBitmap(Icon, FTarget.Width, FTarget.Height, FTarget.GrayScale),
                                   out, FTarget.DBFType);
            else
                SaveIconToStream(out, Icon);
        });
        FTable->addIcon(Index, data);
        ++FStored;
    }
    qint64 Output() const override { return FTable->bytesWritten(); }
    int Finish() override
    {
        if (FTable->filesCreated())
            FTable->finish();
        return FStored;
    }

private:
    const TSaveAllTarget& FTarget;
    std::optional<DbaseExport> FTable;
    int FStored = 0;
};

// A document that shows the icons in a grid of cells.
class PdfDocument final : public TSaveAllWriter {
public:
    explicit PdfDocument(const TSaveAllTarget& Target) : FTarget(Target) {}
    QStringList Start() override
    {
        FDocument.emplace(FTarget.DestDir, FTarget.DestFileName, FTarget.IncludeNumbers, FTarget.DrawBorders);
        return {FDocument->documentFileName()};
    }
    void Add(int Index, const platform::Icon& Icon, const QString&) override
    {
        FDocument->addIcon(Index, DrawIconBitmap(Icon, FTarget.Width, FTarget.Height, FTarget.GrayScale));
        ++FStored;
    }
    qint64 Output() const override { return FDocument->bytesWritten(); }
    int Finish() override
    {
        if (FDocument->documentCreated())
            FDocument->finish();
        return FStored;
    }

private:
    const TSaveAllTarget& FTarget;
    std::optional<PdfExport> FDocument;
    int FStored = 0;
};

}  // namespace

bool IsPictureCode(int Code) { return Code >= kImageFormatBmp && Code <= kImageFormatPng; }

QString PictureCodeExtension(int Code)
{
    switch (Code) {
    case kImageFormatBmp: return QStringLiteral("bmp");
    case kImageFormatJpeg: return QStringLiteral("jpg");
    case kImageFormatEmf: return QStringLiteral("emf");
    case kImageFormatGif: return QStringLiteral("gif");
    case kImageFormatPng: return QStringLiteral("png");
    default: return {};
    }
}

platform::Bitmap DrawIconBitmap(const platform::Icon& Icon, int W, int H, bool GrayScale)
{
    platform::Bitmap bmp(0, 0, GrayScale ? platform::PixelFormat::Bits24 : platform::PixelFormat::Device);
    bmp.setSize(W, H);
    {
        platform::BitmapPainter painter(bmp);
        Icon.draw(painter, 0, 0);
    }
    if (GrayScale)
        GrayscaleBitmap(bmp);
    return bmp;
}

QByteArray IconGroupFileBytes(const IconGroupSource& Group, const QString& Name, int Index, int& ImageCount)
{
    const QString& Source = Group.FileName;
    // No such group, or one named as no lookup finds it: said in the user's
    // terms, not as the group list's index or conversion error.
    const auto broken = [&] { return platform::Error(BrokenIconText(Source, Index)); };
    std::optional<QString> group;
    try {
        group = IconGroupName(Group, Index);
    } catch (const platform::ListIndexError&) {
        throw broken();
    }
    if (!group)
        ThrowNoIcons(Source);
    // The module may be another file than the source: a file type's icons.
    if (platform::isSameFile(Group.ModuleName, Name))
        throw platform::Error(
            QStringLiteral("'%1' is the file the icon comes from; it is not overwritten.").arg(Name));
    QString ErrorText;
    QByteArray bytes;
    try {
        bytes = BuildIconGroupFile(*Group.Module, Group.ModuleName, *group, ImageCount, ErrorText);
    } catch (const platform::ConvertError&) {
        throw broken();
    }
    if (ImageCount > 0 && !bytes.isEmpty())
        return bytes;
    if (ErrorText.isEmpty())
        throw platform::Error(BrokenIconText(Source, Index));
    throw platform::Error(ErrorText);
}

int WriteIconGroupFile(const IconGroupSource& Group, const QString& Name, int Index)
{
    int ImageCount = 0;
    platform::replaceWholeFile(Name, IconGroupFileBytes(Group, Name, Index, ImageCount));
    return ImageCount;
}

namespace {

template <typename Source> QByteArray iconFileBytes(const Source& From, int Index)
{
    QString ErrorText;
    QByteArray bytes = ReadValidIconFile(From, Index, ErrorText);
    if (bytes.isEmpty())
        throw platform::Error(ErrorText);
    return bytes;
}

}  // namespace

QByteArray IconFileBytes(const QString& Source, int Index) { return iconFileBytes(Source, Index); }

QByteArray IconFileBytes(const platform::IconSourceFile& Source, int Index)
{
    return iconFileBytes(Source, Index);
}

qint64 CopyIconFile(const QString& Source, const QString& Name, int Index)
{
    const QByteArray bytes = IconFileBytes(Source, Index);
    platform::replaceWholeFile(Name, bytes);
    return bytes.size();
}

std::unique_ptr<TSaveAllWriter> MakeSaveAllWriter(const TSaveAllTarget& Target)
{
    if (IsPictureCode(Target.FileType))
        return std::make_unique<PictureFiles>(Target);
    switch (Target.FileType) {
    case kHtmlPage: return std::make_unique<HtmlPage>(Target);
    case kDbaseTable: return std::make_unique<DbaseTable>(Target);
    case kPdfDocument: return std::make_unique<PdfDocument>(Target);
    default: return std::make_unique<IconFiles>(Target);
    }
}
