#pragma once
// Reduces a picture to a palette of at most maxColors colours with an
// octree. A picture with no more colours than that keeps every colour
// exactly; otherwise the pixels are mapped with Floyd-Steinberg dithering.
// Alpha is ignored.

#include <QImage>
#include <QList>

#include <cstdint>
#include <vector>

namespace platform {

struct QuantizedImage {
    QList<QRgb> palette;           // opaque colours, at most maxColors
    std::vector<uint8_t> indices;  // width × height, row by row
    int width = 0;
    int height = 0;
    bool exact = false;  // every pixel kept its colour
};

QuantizedImage quantizeOctree(const QImage& image, int maxColors = 256);

}  // namespace platform
