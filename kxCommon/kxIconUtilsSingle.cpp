// One icon to a one-image .ico file, and the colour-depth class of a bitmap.
#include "kxCommon/kxIconUtils.h"

#include "platform/ByteWriter.h"
#include "platform/FileSystem.h"
#include "platform/ImageMemory.h"

#include <algorithm>
#include <array>

namespace {

constexpr uint32_t rgbWord(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

constexpr uint32_t kBlack = 0;
constexpr uint32_t kWhite = 0xFFFFFF;

// The 16 colours of a 4-bit device-independent bitmap, in palette order.
constexpr std::array<uint32_t, 16> kVgaPalette = {
    rgbWord(0, 0, 0),       rgbWord(128, 0, 0),   rgbWord(0, 128, 0),   rgbWord(128, 128, 0),
    rgbWord(0, 0, 128),     rgbWord(128, 0, 128), rgbWord(0, 128, 128), rgbWord(192, 192, 192),
    rgbWord(128, 128, 128), rgbWord(255, 0, 0),   rgbWord(0, 255, 0),   rgbWord(255, 255, 0),
    rgbWord(0, 0, 255),     rgbWord(255, 0, 255), rgbWord(0, 255, 255), rgbWord(255, 255, 255),
};

constexpr std::array<uint32_t, 20> kStaticColours = {
    rgbWord(255, 251, 240), rgbWord(160, 160, 164), rgbWord(128, 128, 128), rgbWord(255, 0, 0),
    rgbWord(0, 255, 0),     rgbWord(255, 255, 0),   rgbWord(0, 0, 255),     rgbWord(255, 0, 255),
    rgbWord(0, 255, 255),   rgbWord(255, 255, 255), rgbWord(0, 0, 0),       rgbWord(128, 0, 0),
    rgbWord(0, 128, 0),     rgbWord(128, 128, 0),   rgbWord(0, 0, 128),     rgbWord(128, 0, 128),
    rgbWord(0, 128, 128),   rgbWord(192, 192, 192), rgbWord(192, 220, 192), rgbWord(166, 202, 240),
};

bool isVga(uint32_t word)
{
    return std::find(kVgaPalette.begin(), kVgaPalette.end(), word) != kVgaPalette.end();
}

// The classification's colour table: 20 static colours, 236 free slots
// that start as a colour cube and greys, and entries 0-9 again at 256-265.
struct ColourTable {
    std::array<uint32_t, 266> entries {};
    int found = 0;

    ColourTable()
    {
        std::copy(kStaticColours.begin(), kStaticColours.end(), entries.begin());
        int at = 20;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    entries[at++] = rgbWord(r * 51, g * 51, b * 51);
        for (int i = 0; at < 256; ++i)
            entries[at++] = rgbWord(8 + i * 12, 8 + i * 12, 8 + i * 12);
        std::copy(kStaticColours.begin(), kStaticColours.begin() + 10, entries.begin() + 256);
    }
    bool known(uint32_t word) const
    {
        return std::find(entries.begin(), entries.begin() + 20 + found, word) != entries.begin() + 20 + found;
    }
};

// Classifies and, for 8 bits, gives the table filled for this bitmap.
TBitCount classify(const std::vector<uint32_t>& words, ColourTable& table)
{
    TBitCount result = bit1;
    for (const uint32_t w : words) {
        if (w == kBlack || w == kWhite)
            continue;
        if (w >> 24)
            return bit32;
        if (result == bit1)
            result = bit4;
        if (isVga(w))
            continue;
        if (result == bit4)
            result = bit8;
        if (!table.known(w)) {
            if (table.found >= 236)
                return bit24;
            table.entries[20 + table.found] = w;
            ++table.found;
        }
    }
    return result;
}

constexpr int bitsOf(TBitCount c)
{
    constexpr int bits[] = {1, 4, 8, 24, 32};
    return bits[c];
}

constexpr int paletteEntries(TBitCount c)
{
    constexpr int entries[] = {2, 16, 256, 0, 0};
    return entries[c];
}

int64_t rowBytes(int64_t width, int bits) { return ((width * bits + 31) & ~int64_t {31}) / 8; }

void putPalette(QByteArray& header, const uint32_t* words, int count)
{
    for (int i = 0; i < count; ++i)
        platform::putLe32(header.data() + 40 + 4 * i, words[i]);
}

// Packs index rows bottom-up at 1, 4 or 8 bits.
QByteArray packIndexed(const std::vector<uint32_t>& words, int width, int height, int bits,
                       const auto& indexOf)
{
    const int64_t stride = rowBytes(width, bits);
    QByteArray out(static_cast<qsizetype>(stride * height), '\0');
    for (int y = 0; y < height; ++y) {
        char* row = out.data() + stride * y;
        for (int x = 0; x < width; ++x) {
            const uint32_t index = indexOf(words[static_cast<size_t>(y) * width + x]);
            const int bit = x * bits;
            row[bit / 8] = static_cast<char>(row[bit / 8] | (index << (8 - bits - bit % 8)));
        }
    }
    return out;
}

bool isAllocatable(const QImage& image)
{
    return !image.isNull() && image.width() > 0 && image.height() > 0 && image.width() <= 4096
        && image.height() <= 8192;
}

}  // namespace

std::vector<uint32_t> CopyToDIB32(const QImage& Bitmap)
{
    if (!isAllocatable(Bitmap))
        return {};
    // A bitmap without alpha channel reads back with 0 in the top byte.
    const bool alpha = Bitmap.hasAlphaChannel();
    const QImage image = platform::converted(Bitmap, QImage::Format_ARGB32);
    const int w = image.width(), h = image.height();
    std::vector<uint32_t> words(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const uint32_t*>(image.constScanLine(h - 1 - y));
        for (int x = 0; x < w; ++x)
            words[static_cast<size_t>(y) * w + x] = alpha ? line[x] : (line[x] & 0x00FFFFFFu);
    }
    return words;
}

TBitCount ClassifyIconColours(const QImage& Bitmap)
{
    const std::vector<uint32_t> words = CopyToDIB32(Bitmap);
    if (words.empty())
        return bit4;
    ColourTable table;
    return classify(words, table);
}

int FillBitmapInfoHeader(QByteArray& Header, int32_t Width, int32_t Height, TBitCount Class)
{
    const int bits = bitsOf(Class);
    const int entries = paletteEntries(Class);
    const int size = 40 + 4 * entries;
    Header = QByteArray(size, '\0');
    platform::putLe32(Header.data() + 0, 40);
    platform::putLe32(Header.data() + 4, static_cast<uint32_t>(Width));
    platform::putLe32(Header.data() + 8, static_cast<uint32_t>(Height));
    platform::putLe16(Header.data() + 12, 1);
    platform::putLe16(Header.data() + 14, static_cast<uint32_t>(bits));
    platform::putLe32(Header.data() + 20,
                      static_cast<uint32_t>(rowBytes(Width, bits) * std::abs(int64_t {Height})));
    platform::putLe32(Header.data() + 32, static_cast<uint32_t>(entries));
    platform::putLe32(Header.data() + 36, static_cast<uint32_t>(entries));
    return size;
}

std::optional<IconImageBits> ReadBitmapBits(const QImage& Bitmap, TBitCount Class)
{
    const std::vector<uint32_t> words = CopyToDIB32(Bitmap);
    if (words.empty())
        return std::nullopt;
    const int w = Bitmap.width(), h = Bitmap.height();
    IconImageBits out;
    FillBitmapInfoHeader(out.header, w, h, Class);
    switch (Class) {
    case bit1: {
        const uint32_t palette[2] = {kBlack, kWhite};
        putPalette(out.header, palette, 2);
        // As a 1-bit read-back maps colours: the lighter ones become white.
        out.bits = packIndexed(words, w, h, 1,
                               [](uint32_t c) { return qGray(static_cast<QRgb>(c)) >= 128 ? 1u : 0u; });
        break;
    }
    case bit4:
        putPalette(out.header, kVgaPalette.data(), 16);
        out.bits = packIndexed(words, w, h, 4, [](uint32_t c) {
            const auto it = std::find(kVgaPalette.begin(), kVgaPalette.end(), c & 0xFFFFFF);
            return it == kVgaPalette.end() ? 0u : static_cast<uint32_t>(it - kVgaPalette.begin());
        });
        break;
    case bit8:
    case bit24:
    case bit32: return std::nullopt;  // colour depths go through ReadColourBits
    }
    return out;
}

std::optional<IconImageBits> ReadColourBits(const QImage& Bitmap)
{
    const std::vector<uint32_t> words = CopyToDIB32(Bitmap);
    if (words.empty())
        return std::nullopt;
    ColourTable table;
    const TBitCount cls = classify(words, table);
    const int w = Bitmap.width(), h = Bitmap.height();
    if (cls == bit1 || cls == bit4)
        return ReadBitmapBits(Bitmap, cls);
    IconImageBits out;
    FillBitmapInfoHeader(out.header, w, h, cls);
    if (cls == bit8) {
        // The palette is the table filled for this bitmap, so every colour
        // keeps its exact value: table entry i + 10 is palette entry i.
        putPalette(out.header, table.entries.data() + 10, 256);
        out.bits = packIndexed(words, w, h, 8, [&](uint32_t c) {
            const auto begin = table.entries.begin() + 10;
            return static_cast<uint32_t>(std::find(begin, begin + 256, c) - begin);
        });
        return out;
    }
    const int bits = bitsOf(cls);
    const int64_t stride = rowBytes(w, bits);
    out.bits = QByteArray(static_cast<qsizetype>(stride * h), '\0');
    for (int y = 0; y < h; ++y) {
        char* row = out.bits.data() + stride * y;
        for (int x = 0; x < w; ++x) {
            const uint32_t c = words[static_cast<size_t>(y) * w + x];
            char* p = row + x * (bits / 8);
            p[0] = static_cast<char>(c);
            p[1] = static_cast<char>(c >> 8);
            p[2] = static_cast<char>(c >> 16);
            if (bits == 32)
                p[3] = static_cast<char>(c >> 24);
        }
    }
    return out;
}

bool SplitMonochromeMask(IconBitmaps& Bitmaps)
{
    if (!Bitmaps.mask || Bitmaps.mask->height() < 2)
        return false;
    const QImage& mask = *Bitmaps.mask;
    const int h = mask.height() / 2;
    QImage top = platform::converted(mask.copy(0, 0, mask.width(), h), QImage::Format_Mono);
    QImage bottom = platform::converted(mask.copy(0, h, mask.width(), h), QImage::Format_Mono);
    if (top.isNull() || bottom.isNull())
        return false;
    Bitmaps.mask = top;
    Bitmaps.colour = bottom;
    return true;
}

int EncodeSingleIconFile(QByteArray& Out, const IconImageBits& Colour, const IconImageBits& Mask,
                         int32_t Width, int32_t Height)
{
    if (Colour.header.size() < 40 || Colour.bits.isEmpty() || Mask.bits.isEmpty())
        return iwMissingBuffer;
    const int bits = static_cast<uint8_t>(Colour.header[14]) | (static_cast<uint8_t>(Colour.header[15]) << 8);
    const uint32_t imageSize
        = static_cast<uint32_t>(Colour.header.size() + Colour.bits.size() + Mask.bits.size());
    Out = QByteArray(22, '\0');
    platform::putLe16(Out.data() + 2, 1);
    platform::putLe16(Out.data() + 4, 1);
    Out[6] = static_cast<char>(IconDirDimension(Width));
    Out[7] = static_cast<char>(IconDirDimension(Height));
    Out[8] = static_cast<char>(bits < 8 ? 1 << bits : 0);
    platform::putLe16(Out.data() + 10, 1);
    platform::putLe16(Out.data() + 12, static_cast<uint32_t>(bits));
    platform::putLe32(Out.data() + 14, imageSize);
    platform::putLe32(Out.data() + 18, 22);
    QByteArray header = Colour.header;
    platform::putLe32(header.data() + 8, static_cast<uint32_t>(Height) * 2);  // colour bits and mask
    Out += header;
    Out += Colour.bits;
    Out += Mask.bits;
    return static_cast<int>(Out.size());
}

namespace {

// The file's bytes, or a negative result.
int encodeIcon(const IconBitmaps* Icon, QByteArray& file)
{
    if (!Icon)
        return iwNoIconInfo;
    IconBitmaps bitmaps = *Icon;
    if (!bitmaps.colour && bitmaps.mask)
        SplitMonochromeMask(bitmaps);
    if (!bitmaps.colour || !bitmaps.mask)
        return iwNoBitmap;
    const auto colour = ReadColourBits(*bitmaps.colour);
    const auto mask = ReadBitmapBits(*bitmaps.mask, bit1);
    if (!colour || !mask)
        return iwBitsUnreadable;
    return EncodeSingleIconFile(file, *colour, *mask, bitmaps.colour->width(), bitmaps.colour->height());
}

}  // namespace

int WriteSingleIconFile(const QString& FileName, const QByteArray& File)
{
    switch (platform::replaceFile(FileName, File)) {
    case platform::WriteResult::Written: return static_cast<int>(File.size());
    case platform::WriteResult::NotCreated: return iwNotCreated;
    case platform::WriteResult::WriteFailed: break;
    }
    return iwWriteFailed;  // and nothing of it stays on disk
}

int SaveIconToFile(const QString& FileName, const IconBitmaps* Icon)
{
    if (FileName.size() < 4)
        return iwBadFileName;
    QByteArray file;
    const int result = encodeIcon(Icon, file);
    if (result <= 0)
        return result;
    return WriteSingleIconFile(FileName, file);
}

void SaveIconToStream(QIODevice& Stream, const IconBitmaps* Icon)
{
    // Encoded in memory: no temporary file to leave behind.
    QByteArray file;
    if (encodeIcon(Icon, file) > 0)
        Stream.write(file);
}

QPoint GetIconDimensions(const IconBitmaps* Icon)
{
    if (!Icon || !Icon->mask)
        return {0, 0};
    const int h = Icon->mask->height();
    return {Icon->mask->width(), Icon->colour ? h : h / 2};
}

std::optional<IconBitmaps> GetIconInfo(const platform::Icon& Icon)
{
    if (Icon.isNull())
        return std::nullopt;
    IconBitmaps bitmaps;
    if (!Icon.colorBitmap().isNull())
        bitmaps.colour = Icon.colorBitmap();
    bitmaps.mask = Icon.maskBitmap();
    return bitmaps;
}

int SaveIconToFile(const QString& FileName, const platform::Icon& Icon)
{
    const auto info = GetIconInfo(Icon);
    return SaveIconToFile(FileName, info ? &*info : nullptr);
}

void SaveIconToStream(QIODevice& Stream, const platform::Icon& Icon)
{
    const auto info = GetIconInfo(Icon);
    SaveIconToStream(Stream, info ? &*info : nullptr);
}

QPoint GetIconDimensions(const platform::Icon& Icon)
{
    const auto info = GetIconInfo(Icon);
    return GetIconDimensions(info ? &*info : nullptr);
}
