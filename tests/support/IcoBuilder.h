#pragma once
// Builds icon images and .ico files for fixtures and tests: DIB images of
// every depth with their AND mask, PNG images, and the .ico container.

#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

using ByteVec = std::vector<uint8_t>;

struct IcoImage {
    ByteVec data;
    // Directory-entry values; windres copies them into the group resource.
    int width = 0;
    int height = 0;
    int planes = 1;
    int bits = 0;
};

// The colour of pixel (x, y) of a generated image, as 0xAARRGGBB; the DIB
// and PNG builders draw this pattern so decoders can be checked pixel by pixel.
uint32_t patternColor(int x, int y, int bits, uint32_t seed);

// A DIB icon image (BITMAPINFOHEADER, palette, XOR bits, AND mask) of
// 1, 4, 8, 16, 24 or 32 bits. Its image-size field holds a non-zero value,
// as real files often do.
IcoImage dibImage(int width, int height, int bits, uint32_t seed = 0);
// A BI_BITFIELDS DIB icon image: 16 bits as 5-6-5, or 32 bits with red in
// the low byte and blue in the third (alpha stays in the top byte). Its
// pixels are patternColor(x, y, 24 or 32, seed) cut to the field widths.
IcoImage dibBitfieldsImage(int width, int height, int bits, uint32_t seed = 0);
// A PNG icon image (RGBA, 8 bits a channel).
IcoImage pngImage(int width, int height, uint32_t seed = 0);

// A PNG icon image with a tEXt chunk right after IHDR whose length claims
// far more bytes (0x7FFFFFF0) than the stream holds.
IcoImage pngWithLyingChunk(int width, int height, uint32_t seed = 0);

ByteVec icoFile(const std::vector<IcoImage>& images);

void writeFile(const std::string& path, const ByteVec& bytes);
ByteVec readFile(const std::string& path);

inline uint16_t get16(const ByteVec& b, size_t at)
{
    return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
inline uint32_t get32(const ByteVec& b, size_t at)
{
    return get16(b, at) | (uint32_t {get16(b, at + 2)} << 16);
}
void put16(ByteVec& b, size_t at, uint32_t v);
void put32(ByteVec& b, size_t at, uint32_t v);

}  // namespace fixture
