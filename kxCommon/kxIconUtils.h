#pragma once
// Icon groups of modules and .ico files to multi-image .ico files.

#include "platform/PeModule.h"
#include "platform/ShellIcons.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// One image of the group being written, in group order.
struct IconImageEntry {
    int32_t width = 0;
    int32_t height = 0;    // the image's own height (colour bits, not the mask)
    platform::Bytes data;  // the whole RT_ICON resource
    uint32_t size = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    bool isDib = true;  // false for images stored as PNG
};

// Saves the icon group at `Index` of `FileName` into `DestFile`, or with an
// empty `DestFile` only reports its image count. A negative index is minus a
// resource identifier. True when a group was found and handed to the writer.
bool ExtractIconGroupToFile(const QString& FileName, const QString& DestFile, int Index, int& ImageCount,
                            QString& ErrorText);

// A file's icon groups resolved once, so that saving every group of a
// module opens it and lists its groups once, not once a group.
struct IconGroupSource {
    QString FileName;
    bool IconFile = false;                             // an .ico file: saved by copying it
    QString ModuleName;                                // the module that holds the groups
    std::shared_ptr<const platform::PeModule> Module;  // null when it cannot be read
    QStringList Names;                                 // the group names in directory order
    std::optional<int> Index;  // a default-icon location's index, which wins over the caller's
};
IconGroupSource OpenIconGroupSource(const QString& FileName);
// The same of a file held open: its own groups come from that open file.
IconGroupSource OpenIconGroupSource(const platform::IconSourceFile& File);
// ExtractIconGroupToFile over an opened source.
bool ExtractIconGroupToFile(const IconGroupSource& Source, const QString& DestFile, int Index,
                            int& ImageCount, QString& ErrorText);
// The name of the group ExtractIconGroupToFile saves for Index from a
// module source; nullopt when it has no groups. Throws ListIndexError for
// an index past the last group.
std::optional<QString> IconGroupName(const IconGroupSource& Source, int Index);

// Writes the group `GroupName` of the module file `Module` as an .ico file;
// with an empty `DestFile` it only sets `ImageCount`. True when the whole
// file was written.
bool WriteIconGroupFile(const QString& Module, const QString& DestFile, const QString& GroupName,
                        int& ImageCount, QString& ErrorText);
bool WriteIconGroupFile(const platform::PeModule& Module, const QString& ModuleName, const QString& DestFile,
                        const QString& GroupName, int& ImageCount, QString& ErrorText);

// The .ico file of a group in memory; empty when the group is not found,
// unreadable or names an image twice (then `ErrorText` may say why). `ImageCount` is the count of
// images written.
QByteArray BuildIconGroupFile(const platform::PeModule& Module, const QString& ModuleName,
                              const QString& GroupName, int& ImageCount, QString& ErrorText,
                              bool CountOnly = false);

// The default-icon location of a file type ("path" or "path,index").
QString GetDefaultIconLocation(const QString& Extension);

// Appends the text of one group name to the list; always asks to go on.
bool EnumIconGroupNamesProc(const platform::ResourceId& Name, QStringList& Names);

// Steps of the writer.
bool FillGroupEntry(IconImageEntry& Entry, platform::Bytes Image);
// True when two images of a group share bytes: a real group never names an
// image twice, and one that did could make a file of any size from a small
// module. Without it a group's file is never larger than the module plus
// its directory.
bool SharesImageBytes(const std::vector<IconImageEntry>& Entries);
void WriteIconDirHeader(QByteArray& Out, uint16_t Count);
uint32_t ImageDataOffset(const std::vector<IconImageEntry>& Entries, size_t Index);
void WriteIconDirEntries(QByteArray& Out, const std::vector<IconImageEntry>& Entries);
// A width or height as an .ico directory byte: 0 stands for 256 and more,
// which a byte cannot hold.
uint8_t IconDirDimension(int32_t Value);

// True for an .ico file whose header, count and every image lie within it.
bool IsValidIconFile(platform::Bytes File);
// The bytes of the .ico file FileName when it is one whose icon IconIndex
// (from 0) can be copied: header, count and every image inside the file.
// Otherwise empty, and ErrorText says why.
QByteArray ReadValidIconFile(const QString& FileName, int IconIndex, QString& ErrorText);
// The same of the bytes of a file held open, read once.
QByteArray ReadValidIconFile(const platform::IconSourceFile& File, int IconIndex, QString& ErrorText);

// ---- One icon to a one-image .ico file ------------------------------------

#include "platform/Icon.h"

#include <QIODevice>
#include <QImage>
#include <QPoint>

#include <optional>

// The colour-depth class of an icon image; the ordinals are used.
enum TBitCount { bit1 = 0, bit4 = 1, bit8 = 2, bit24 = 3, bit32 = 4 };

// What an icon gives of itself: its colour bitmap (32-bit words, alpha 0
// where the icon has none) and its AND mask (white = transparent). An icon
// without colour bitmap keeps AND and XOR halves stacked in its mask.
struct IconBitmaps {
    std::optional<QImage> colour;
    std::optional<QImage> mask;
};

// The header block of one image: BITMAPINFOHEADER and palette.
struct IconImageBits {
    QByteArray header;
    QByteArray bits;
};

// Icon-writer results beside the byte count.
enum : int {
    iwBadFileName = -1,
    iwNoIconInfo = -2,
    iwNoBitmap = -3,
    iwBitsUnreadable = -4,
    iwMissingBuffer = -5,
    iwNotCreated = -6,
    iwWriteFailed = -7,
};

TBitCount ClassifyIconColours(const QImage& Bitmap);
// The pixels as the words of a bottom-up 32-bit DIB; empty for no pixels.
std::vector<uint32_t> CopyToDIB32(const QImage& Bitmap);

// The bitmaps of an icon object; nullopt for the null icon.
std::optional<IconBitmaps> GetIconInfo(const platform::Icon& Icon);

// Bytes written, or one of the negative results above.
int SaveIconToFile(const QString& FileName, const platform::Icon& Icon);
int SaveIconToFile(const QString& FileName, const IconBitmaps* Icon);
// Appends the same bytes to Stream; nothing when they could not be made.
void SaveIconToStream(QIODevice& Stream, const platform::Icon& Icon);
void SaveIconToStream(QIODevice& Stream, const IconBitmaps* Icon);
// Mask width and height, the height halved without colour bitmap; (0, 0)
// for no icon.
QPoint GetIconDimensions(const platform::Icon& Icon);
QPoint GetIconDimensions(const IconBitmaps* Icon);

// Steps.
bool SplitMonochromeMask(IconBitmaps& Bitmaps);
int FillBitmapInfoHeader(QByteArray& Header, int32_t Width, int32_t Height, TBitCount Class);
std::optional<IconImageBits> ReadColourBits(const QImage& Bitmap);
std::optional<IconImageBits> ReadBitmapBits(const QImage& Bitmap, TBitCount Class);
// The one-image file in memory; an error result when a part is missing.
int EncodeSingleIconFile(QByteArray& Out, const IconImageBits& Colour, const IconImageBits& Mask,
                         int32_t Width, int32_t Height);
int WriteSingleIconFile(const QString& FileName, const QByteArray& File);
