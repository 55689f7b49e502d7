#pragma once
// How a save-all run writes: one writer for each kind of export, chosen once
// at the start of the run. A writer takes the run's readable icons one by
// one and knows what it writes: numbered files of its own (.ico files or
// pictures), or one page, table or document that it puts in place at the
// end, together or not at all.

#include "kxCommon/kxIconUtils.h"
#include "platform/Bitmap.h"
#include "platform/Icon.h"

#include <QString>
#include <QStringList>

#include <memory>

// The format codes of the exports beside the picture codes 0-5.
inline constexpr int kHtmlPage = 11;
inline constexpr int kDbaseTable = 12;
inline constexpr int kPdfDocument = 13;

bool IsPictureCode(int Code);
// "bmp", "jpg", "emf", "gif" or "png" for picture codes 1-5, empty otherwise.
QString PictureCodeExtension(int Code);

// Icon at W x H on a bitmap of its own, grey on request.
platform::Bitmap DrawIconBitmap(const platform::Icon& Icon, int W, int H, bool GrayScale);
// Icon group Index of a module as the .ico file Name, and its image count.
// Throws with the reason when it cannot be read or Name is the module.
QByteArray IconGroupFileBytes(const IconGroupSource& Group, const QString& Name, int Index, int& ImageCount);
// IconGroupFileBytes written whole; the image count written.
int WriteIconGroupFile(const IconGroupSource& Group, const QString& Name, int Index);
// The bytes of the .ico file Source after its check; throws with the reason.
QByteArray IconFileBytes(const QString& Source, int Index);
// The same of a file held open, from the bytes it was read as.
QByteArray IconFileBytes(const platform::IconSourceFile& Source, int Index);
// The .ico file Source copied whole after its check; the bytes written.
qint64 CopyIconFile(const QString& Source, const QString& Name, int Index);

// What a run is asked to write: the options of the save-all run that the
// writers read.
struct TSaveAllTarget {
    QString Source;  // the file the icons come from
    QString DestDir;
    QString DestFileName;
    QString DestExt;  // as the caller gave it: names keep their case
    QString DBFFieldName;
    int FileType = 0;
    int DBFType = 0;
    int TargetImageType = 0;
    bool IncludeNumbers = false;
    bool DrawBorders = false;
    bool GrayScale = false;
    int Width = 0;  // of the pictures drawn
    int Height = 0;
    // Source, open for the run: icon files take its groups and bytes from
    // it. Needed by the icon files' writer.
    const platform::IconSourceFile* SourceFile = nullptr;
};

class TSaveAllWriter {
public:
    virtual ~TSaveAllWriter() = default;

    // The extension (with its dot) of the numbered file each icon becomes,
    // or empty when the icons go into one page, table or document. Each
    // numbered file is asked the overwrite question on its own.
    virtual QString NumberedFileExt() const { return {}; }
    // Begins the run once its folder exists; the files it will put in place
    // at the end, none of which may be the source.
    virtual QStringList Start() { return {}; }
    // Stores the icon Index; Name is its numbered file (empty for a table or
    // document).
    virtual void Add(int Index, const platform::Icon& Icon, const QString& Name) = 0;
    // The bytes written so far, a numbered file counting one block at least.
    virtual qint64 Output() const = 0;
    // Puts what was stored in place; what the run counts for it. Throws
    // when it cannot, and nothing is replaced then.
    virtual int Finish() = 0;
};

// The writer of FileType; codes the run does not know write .ico files.
std::unique_ptr<TSaveAllWriter> MakeSaveAllWriter(const TSaveAllTarget& Target);
