#pragma once
// Decoding of one icon image, as an RT_ICON resource or an .ico file entry
// stores it: a DIB (colour bits followed by the AND mask) or a PNG stream.

#include <QImage>

#include <cstdint>
#include <optional>
#include <span>

namespace platform {

// The largest width or height an icon image may have; anything above is
// refused before a pixel is allocated.
constexpr int kMaxIconDimension = 1024;
// The most bytes an image of an .ico file may take: a 32-bit image of the
// largest size with its mask takes about 4.2 MB. Larger ones are not read.
constexpr uint64_t kMaxIconImageBytes = 16u << 20;

struct IconImage {
    // Format_ARGB32, top-down. Images with real alpha keep it; all others
    // have alpha 0 in every pixel (they are drawn through `mask`). Null for
    // a monochrome image, whose pixels are in `mask`.
    QImage color;
    // Format_Mono, top-down, bit 1 = the background shows through (the AND
    // mask). A monochrome image has twice the height: the AND mask over the
    // XOR bits (1 = white).
    QImage mask;
    // Bits per pixel of the stored image; PNG counts as 32.
    int bits = 0;
    bool hasAlpha = false;
    bool isPng = false;

    int width() const { return mask.width(); }
    int height() const { return color.isNull() ? mask.height() / 2 : mask.height(); }
    bool isMonochrome() const { return color.isNull() && !mask.isNull(); }
};

// True when the bytes begin with the PNG signature.
bool isPngImage(std::span<const uint8_t> bytes);

// Decodes one image. nullopt for anything malformed, unsupported or larger
// than kMaxIconDimension, and for a PNG stream whose chunks up to IEND do
// not lie whole inside `bytes`; never reads outside `bytes`. Memory refused
// for the pixels throws std::bad_alloc: the image is not the fault.
std::optional<IconImage> decodeIconImage(std::span<const uint8_t> bytes);

}  // namespace platform
