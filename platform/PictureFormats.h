#pragma once
// The toolkit's picture types as writers: each turns a bitmap into the
// complete bytes of a file of its format. Failures throw std::runtime_error.
//   BMP   the bitmap's own pixel format (device as 32 bits), palette for 1/4/8 bits
//   JPEG  from 24 bits: library defaults, quality 90, baseline, YCbCr
//   PNG   palette for 1/4/8 bits, RGB for 24 bits and device, RGBA for 32 bits
//         (its alpha is kept); Sub filter, level 7, no interlace, IDAT <= 65535
//   GIF   1/4/8 bits keep their palette; deeper pictures are reduced to at
//         most 256 colours (octree, Floyd-Steinberg); alpha is not kept
//   EMF   header, one StretchDIBits record of the bitmap at (0, 0), end record,
//         on a 96-dpi reference screen
// JPEG, PNG and GIF have no empty picture: a bitmap without pixels throws.

#include "platform/Bitmap.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

// A device-independent bitmap: BITMAPINFOHEADER with its colour table, and
// the bottom-up rows padded to 4 bytes.
struct Dib {
    QByteArray info;
    QByteArray bits;
};
Dib packDib(const Bitmap& bitmap);

QByteArray encodeBmp(const Bitmap& bitmap);
QByteArray encodeJpeg(const Bitmap& bitmap);
QByteArray encodePng(const Bitmap& bitmap);
QByteArray encodeGif(const Bitmap& bitmap);
QByteArray encodeEmf(const Bitmap& bitmap);

// The pixels of a PNG stream whose header gives width x height, as
// Format_ARGB32; nullopt, and the decoder's reason in `error`, for a stream
// that is damaged, of another size or ends early. Says nothing on the
// console. Only the image's own chunks are read: text, colour profiles and
// every other ancillary chunk are skipped without being inflated. Memory
// refused for the pixels throws std::bad_alloc.
std::optional<QImage> decodePng(std::span<const uint8_t> bytes, int width, int height,
                                std::string* error = nullptr);

// The reference screen of the metafiles.
constexpr int kEmfDeviceWidth = 1920;
constexpr int kEmfDeviceHeight = 1080;
constexpr int kEmfPixelsPerInch = 96;

}  // namespace platform
