#include "platform/PictureFormats.h"

#include "platform/OctreeQuantizer.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gif_lib.h>

namespace platform {

namespace {

int onWrite(GifFileType* gif, const GifByteType* bytes, int length)
{
    auto* out = static_cast<QByteArray*>(gif->UserData);
    try {
        out->append(reinterpret_cast<const char*>(bytes), length);
    } catch (...) {
        return 0;  // giflib reports a write error
    }
    return length;
}

[[noreturn]] void fail(int code)
{
    const char* text = GifErrorString(code);
    throw std::runtime_error(std::string("GIF error: ") + (text ? text : "unknown"));
}

struct MapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

}  // namespace

QByteArray encodeGif(const Bitmap& bitmap)
{
    if (bitmap.isEmpty())
        throw std::runtime_error("Cannot write an empty picture as GIF");
    const int w = bitmap.width();
    const int h = bitmap.height();

    QList<QRgb> palette;
    std::vector<uint8_t> indices(size_t(w) * size_t(h));
    if (bitmap.bitsPerPixel() <= 8) {
        palette = bitmap.image().colorTable().mid(0, 1 << bitmap.bitsPerPixel());
        if (palette.isEmpty())
            palette << qRgb(0, 0, 0);
        for (int y = 0; y < h; ++y) {
            const uchar* row = bitmap.image().constScanLine(y);
            for (int x = 0; x < w; ++x)
                indices[size_t(y) * size_t(w) + size_t(x)] = row[x] < palette.size() ? row[x] : 0;
        }
    } else {
        QuantizedImage q = quantizeOctree(bitmap.image(), 256);
        palette = std::move(q.palette);
        indices = std::move(q.indices);
    }

    // The colour table of the file holds a power of two entries.
    int mapSize = 2;
    while (mapSize < palette.size())
        mapSize *= 2;
    std::vector<GifColorType> colours(size_t(mapSize), GifColorType {0, 0, 0});
    for (qsizetype i = 0; i < palette.size(); ++i)
        colours[size_t(i)] = GifColorType {GifByteType(qRed(palette[i])), GifByteType(qGreen(palette[i])),
                                           GifByteType(qBlue(palette[i]))};
    std::unique_ptr<ColorMapObject, MapDeleter> map(GifMakeMapObject(mapSize, colours.data()));
    if (!map)
        throw std::bad_alloc();

    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, onWrite, &error);
    if (!gif)
        fail(error);
    auto close = [&gif]() {
        int ignored = 0;
        if (gif)
            EGifCloseFile(gif, &ignored);
        gif = nullptr;
    };
    try {
        if (EGifPutScreenDesc(gif, w, h, 8, 0, map.get()) == GIF_ERROR
            || EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_ERROR)
            fail(gif->Error);
        for (int y = 0; y < h; ++y)
            if (EGifPutLine(gif, &indices[size_t(y) * size_t(w)], w) == GIF_ERROR)
                fail(gif->Error);
    } catch (...) {
        close();
        throw;
    }
    GifFileType* closing = gif;
    gif = nullptr;
    if (EGifCloseFile(closing, &error) == GIF_ERROR)
        fail(error);
    return out;
}

}  // namespace platform
