#include "platform/IconImage.h"

#include "CapturedStderr.h"
#include "CostCorpus.h"
#include "IcoBuilder.h"
#include "platform/PictureFormats.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>

using namespace platform;
using namespace fixture;

// The sanitizer runtime of the test build reports every allocation to this
// hook; without it the allocation check is skipped.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*))
    __attribute__((weak));

namespace {

// The builders' AND mask.
bool builderMasked(int x, int y) { return (x + 2 * y) % 7 == 0; }

bool maskBit(const QImage& mono, int x, int y) { return (mono.constScanLine(y)[x / 8] >> (7 - x % 8)) & 1; }

uint32_t word(const QImage& image, int x, int y)
{
    return reinterpret_cast<const uint32_t*>(image.constScanLine(y))[x];
}

std::optional<IconImage> decode(const ByteVec& bytes) { return decodeIconImage(bytes); }

// Checks every pixel and mask bit of a decoded image against `expected`.
void expectPixels(const IconImage& image, int width, int height,
                  const std::function<uint32_t(int, int)>& expected)
{
    ASSERT_EQ(image.color.format(), QImage::Format_ARGB32);
    ASSERT_EQ(image.mask.format(), QImage::Format_Mono);
    ASSERT_EQ(image.width(), width);
    ASSERT_EQ(image.height(), height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(word(image.color, x, y), expected(x, y)) << "pixel " << x << "," << y;
            ASSERT_EQ(maskBit(image.mask, x, y), builderMasked(x, y)) << "mask " << x << "," << y;
        }
}

}  // namespace

struct DepthCase {
    int size;
    int bits;
};

class DibDepths : public ::testing::TestWithParam<DepthCase> {};

TEST_P(DibDepths, DecodesEveryPixelAndTheMask)
{
    const auto [size, bits] = GetParam();
    const uint32_t seed = 7;
    const auto image = decode(dibImage(size, size, bits, seed).data);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bits, bits);
    EXPECT_FALSE(image->isPng);
    EXPECT_EQ(image->hasAlpha, bits == 32);
    // Without alpha the colour words carry alpha 0, as a classifier expects.
    expectPixels(*image, size, size, [&](int x, int y) {
        const uint32_t c = patternColor(x, y, bits, seed);
        return bits == 32 ? c : c & 0x00FFFFFFu;
    });
}

// 1-bit images of the builder have coloured palettes: colour icons.
INSTANTIATE_TEST_SUITE_P(Depths, DibDepths,
                         ::testing::Values(DepthCase {16, 1}, DepthCase {32, 4}, DepthCase {24, 8},
                                           DepthCase {33, 1}, DepthCase {17, 4}, DepthCase {48, 16},
                                           DepthCase {31, 24}, DepthCase {32, 32}, DepthCase {1, 24}));

TEST(IconImage, DecodesBitFields)
{
    const auto rgb565 = decode(dibBitfieldsImage(20, 20, 16, 3).data);
    ASSERT_TRUE(rgb565);
    EXPECT_EQ(rgb565->bits, 16);
    expectPixels(*rgb565, 20, 20, [](int x, int y) { return patternColor(x, y, 24, 3) & 0x00F8FCF8u; });

    const auto rgba = decode(dibBitfieldsImage(32, 32, 32, 4).data);
    ASSERT_TRUE(rgba);
    EXPECT_TRUE(rgba->hasAlpha);
    expectPixels(*rgba, 32, 32, [](int x, int y) { return patternColor(x, y, 32, 4); });
}

TEST(IconImage, ThirtyTwoBitsWithoutAlphaUseTheMask)
{
    IcoImage dib = dibImage(16, 16, 32, 5);
    const size_t pixels = 40;
    for (size_t i = 0; i < 16 * 16; ++i)
        dib.data[pixels + i * 4 + 3] = 0;
    const auto image = decode(dib.data);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->hasAlpha);
    expectPixels(*image, 16, 16, [](int x, int y) { return patternColor(x, y, 32, 5) & 0x00FFFFFFu; });
}

TEST(IconImage, BlackAndWhiteOneBitImagesAreMonochrome)
{
    for (bool inverted : {false, true}) {
        IcoImage dib = dibImage(32, 32, 1, 0);
        put32(dib.data, 40, inverted ? 0xFFFFFF : 0);
        put32(dib.data, 44, inverted ? 0 : 0xFFFFFF);
        const auto image = decode(dib.data);
        ASSERT_TRUE(image);
        EXPECT_TRUE(image->isMonochrome());
        EXPECT_EQ(image->bits, 1);
        EXPECT_EQ(image->mask.height(), 64);
        EXPECT_EQ(image->height(), 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                ASSERT_EQ(maskBit(image->mask, x, y), builderMasked(x, y));
                const bool index = (x + y * 3) % 2 != 0;
                ASSERT_EQ(maskBit(image->mask, x, y + 32), index != inverted) << x << "," << y;
            }
    }
}

TEST(IconImage, ShortPaletteAndCoreHeader)
{
    // An 8-bit image with 16 palette entries (biClrUsed): indexes past the
    // palette are black.
    IcoImage dib = dibImage(16, 16, 8, 9);
    put32(dib.data, 32, 16);
    dib.data.erase(dib.data.begin() + 40 + 16 * 4, dib.data.begin() + 40 + 256 * 4);
    const auto image = decode(dib.data);
    ASSERT_TRUE(image);
    expectPixels(*image, 16, 16, [](int x, int y) {
        return (x + y * 3 + 9) % 256 < 16 ? patternColor(x, y, 8, 9) & 0x00FFFFFFu : 0u;
    });

    // The same pixels behind a BITMAPCOREHEADER with a palette of triples.
    const IcoImage full = dibImage(16, 16, 4, 2);
    ByteVec core(12, 0);
    put32(core, 0, 12);
    put16(core, 4, 16);
    put16(core, 6, 32);
    put16(core, 8, 1);
    put16(core, 10, 4);
    for (int i = 0; i < 16; ++i)
        for (int k = 0; k < 3; ++k)
            core.push_back(full.data[40 + i * 4 + k]);
    core.insert(core.end(), full.data.begin() + 40 + 64, full.data.end());
    const auto coreImage = decode(core);
    ASSERT_TRUE(coreImage);
    expectPixels(*coreImage, 16, 16, [](int x, int y) { return patternColor(x, y, 4, 2) & 0x00FFFFFFu; });
}

TEST(IconImage, DecodesPng)
{
    const auto image = decode(pngImage(48, 40, 6).data);
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->isPng);
    EXPECT_TRUE(image->hasAlpha);
    EXPECT_EQ(image->bits, 32);
    ASSERT_EQ(image->width(), 48);
    ASSERT_EQ(image->height(), 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x) {
            const uint32_t expected = patternColor(x % 32, y % 32, 32, 6);
            const uint32_t got = word(image->color, x, y);
            ASSERT_EQ(got >> 24, expected >> 24);
            if (expected >> 24) {
                ASSERT_EQ(got, expected) << x << "," << y;
            }
            ASSERT_EQ(maskBit(image->mask, x, y), (expected >> 24) == 0);
        }
}

TEST(IconImage, HostileImagesFailCleanly)
{
    const ByteVec dib = dibImage(16, 16, 4, 1).data;  // 40 + 64 palette + 128 + 64
    const ByteVec png = pngImage(32, 32, 1).data;
    auto with = [](ByteVec b, const std::function<void(ByteVec&)>& change) {
        change(b);
        return b;
    };
    const std::vector<std::pair<const char*, ByteVec>> cases = {
        {"empty", {}},
        {"three bytes", {40, 0, 0}},
        {"header only", ByteVec(dib.begin(), dib.begin() + 40)},
        {"mask cut short", ByteVec(dib.begin(), dib.end() - 1)},
        {"pixels cut short", ByteVec(dib.begin(), dib.begin() + 150)},
        {"width 0", with(dib, [](ByteVec& b) { put32(b, 4, 0); })},
        {"width 1025", with(dib, [](ByteVec& b) { put32(b, 4, 1025); })},
        {"huge width", with(dib, [](ByteVec& b) { put32(b, 4, 0x7FFFFFFF); })},
        {"height 1", with(dib, [](ByteVec& b) { put32(b, 8, 1); })},
        {"height 2050", with(dib, [](ByteVec& b) { put32(b, 8, 2050); })},
        {"negative height", with(dib, [](ByteVec& b) { put32(b, 8, static_cast<uint32_t>(-32)); })},
        {"palette past the end", with(dib, [](ByteVec& b) { put32(b, 32, 256); })},
        {"palette count absurd", with(dib, [](ByteVec& b) { put32(b, 32, 0xFFFFFFFF); })},
        {"bit count 7", with(dib, [](ByteVec& b) { put16(b, 14, 7); })},
        {"run-length compression", with(dib, [](ByteVec& b) { put32(b, 16, 2); })},
        {"bit fields at 4 bits", with(dib, [](ByteVec& b) { put32(b, 16, 3); })},
        {"header size past the end", with(dib, [](ByteVec& b) { put32(b, 0, 0x7FFFFFF0); })},
        {"header size 39", with(dib, [](ByteVec& b) { put32(b, 0, 39); })},
        {"core header cut", ByteVec {12, 0, 0, 0, 16, 0}},
        {"png signature only", ByteVec(png.begin(), png.begin() + 8)},
        {"png cut in the image data", ByteVec(png.begin(), png.begin() + static_cast<long>(png.size() / 2))},
        {"png huge",
         with(png,
              [](ByteVec& b) {
                  b[16] = 0;
                  b[17] = 1;
                  b[18] = 0x86;
                  b[19] = 0xA0;
              })},
        {"png width 0", with(png, [](ByteVec& b) { b[16] = b[17] = b[18] = b[19] = 0; })},
        {"png no IHDR first", with(png, [](ByteVec& b) { b[12] = 'X'; })},
        {"png corrupt data",
         with(png,
              [](ByteVec& b) {
                  for (size_t i = 60; i < b.size() - 12; ++i)
                      b[i] ^= 0xA5;
              })},
    };
    for (const auto& [name, bytes] : cases)
        EXPECT_FALSE(decodeIconImage(bytes)) << name;
}

namespace {

std::atomic<bool> watchingAllocations {false};
std::atomic<size_t> largestAllocation {0};

void onMalloc(const volatile void*, size_t size)
{
    if (!watchingAllocations)
        return;
    size_t seen = largestAllocation;
    while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {}
}

void onFree(const volatile void*) {}

// The largest single allocation that `run` makes; nullopt in a build
// without the hook.
std::optional<size_t> largestAllocationOf(const std::function<void()>& run)
{
    if (!__sanitizer_install_malloc_and_free_hooks) {
        run();
        return std::nullopt;
    }
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
    if (!hooked) {
        run();
        return std::nullopt;
    }
    largestAllocation = 0;
    watchingAllocations = true;
    run();
    watchingAllocations = false;
    return largestAllocation.load();
}

}  // namespace

TEST(IconImage, PngChunksMustLieInsideTheImage)
{
    const ByteVec png = pngImage(32, 32, 7).data;
    const size_t afterHeader = 33;  // signature and IHDR
    auto withChunk = [&](uint32_t length, size_t dataBytes) {
        ByteVec b = png;
        ByteVec chunk = {static_cast<uint8_t>(length >> 24),
                         static_cast<uint8_t>(length >> 16),
                         static_cast<uint8_t>(length >> 8),
                         static_cast<uint8_t>(length),
                         't',
                         'E',
                         'X',
                         't'};
        chunk.resize(chunk.size() + dataBytes + 4, 'a');  // data and a CRC the decoder need not like
        b.insert(b.begin() + static_cast<long>(afterHeader), chunk.begin(), chunk.end());
        return b;
    };
    ByteVec padded = png;
    padded.resize(png.size() + 100, 0xEE);
    ByteVec noEnd(png.begin(), png.end() - 12);

    EXPECT_TRUE(decode(padded)) << "bytes after IEND are padding";
    EXPECT_FALSE(decode(noEnd)) << "no IEND";
    EXPECT_FALSE(decode(withChunk(0x7FFFFFF0, 8))) << "length far past the end";
    EXPECT_FALSE(decode(withChunk(0x80000000, 8))) << "length above 2^31 - 1";
    EXPECT_FALSE(decode(withChunk(static_cast<uint32_t>(png.size()), 8))) << "length just past the end";

    // The lying length is refused before the decoder allocates for it.
    const ByteVec lying = pngWithLyingChunk(128, 128, 60).data;
    bool decoded = true;
    const auto largest = largestAllocationOf([&] { decoded = decode(lying).has_value(); });
    EXPECT_FALSE(decoded);
    if (!largest)
        GTEST_SKIP() << "no allocation hook in this build";
    EXPECT_LT(*largest, size_t {16} << 20);
}

TEST(IconImage, PngTextAndProfileChunksAreNotInflated)
{
    for (const char* type : {"zTXt", "iTXt", "iCCP"}) {
        const char t[5] = {type[0], type[1], type[2], type[3], 0};
        // Three chunks of 4 MB each once inflated, about 4 KB each as stored.
        const ByteVec png = pngWithInflatingChunks(t, 3, 4'000'000).data;
        ASSERT_LT(png.size(), 40'000u);
        std::optional<IconImage> image;
        const auto largest = largestAllocationOf([&] { image = decode(png); });
        ASSERT_TRUE(image) << type;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const uint32_t expected = patternColor(x, y, 32, 0);
                if (expected >> 24) {
                    ASSERT_EQ(word(image->color, x, y), expected) << type << " " << x << "," << y;
                }
            }
        if (largest) {
            EXPECT_LT(*largest, size_t {1} << 20) << type;
        }
    }
}

TEST(IconImage, PngColourTypesDecodeToTheirPixels)
{
    // Every layout the encoder makes of these pixels: palette with alpha,
    // grey, RGB, RGBA, and 16 bits a channel.
    QImage source(24, 20, QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, patternColor(x, y, 32, 3) | (x % 3 == 0 ? 0xFF000000u : 0));
    const std::vector<std::pair<const char*, QImage>> layouts = {
        {"palette", source.convertToFormat(QImage::Format_Indexed8)},
        {"grey", source.convertToFormat(QImage::Format_Grayscale8)},
        {"grey 16", source.convertToFormat(QImage::Format_Grayscale16)},
        {"rgb", source.convertToFormat(QImage::Format_RGB888)},
        {"rgba", source},
        {"rgba 16", source.convertToFormat(QImage::Format_RGBA64)},
    };
    for (const auto& [name, layout] : layouts) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(layout.save(&buffer, "PNG")) << name;
        const QImage expected = QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32);
        const auto image = decode(ByteVec(png.begin(), png.end()));
        ASSERT_TRUE(image) << name;
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x) {
                const uint32_t want = word(expected, x, y);
                const uint32_t got = word(image->color, x, y);
                // Colour under full transparency is not kept alike.
                ASSERT_EQ(got >> 24, want >> 24) << name << " " << x << "," << y;
                if (want >> 24) {
                    ASSERT_EQ(got, want) << name << " " << x << "," << y;
                }
            }
    }
}

namespace {

QStringList loggedMessages;

void keepMessage(QtMsgType, const QMessageLogContext&, const QString& message) { loggedMessages << message; }

}  // namespace

TEST(IconImage, DamagedPngIsRefusedAndSaidOnlyToTheProgramsLog)
{
    ByteVec badData = pngImage(32, 32, 4).data;
    const char idat[] = "IDAT";
    const auto data = std::search(badData.begin(), badData.end(), idat, idat + 4) + 4;
    ASSERT_LT(data, badData.end());
    *data ^= 0x01;  // the first byte of the image data
    ByteVec badText = pngWithInflatingChunks("zTXt", 1, 1000).data;
    badText[33 + 8 + 20] ^= 0x55;  // inside the compressed text: its CRC no longer holds
    struct Case {
        const char* name;
        ByteVec bytes;
        bool decodes;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"damaged image data", badData, false, "IDAT"},
        {"one row short", pngOneRowShort(32, 32).data, false, "Not enough image data"},
        {"damaged text chunk", badText, true, ""},
    };
    for (const Case& c : cases) {
        loggedMessages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
        CapturedStderr console;
        const bool decoded = decode(c.bytes).has_value();
        const qsizetype said = loggedMessages.size();
        std::string reason;
        const uint32_t width = uint32_t {c.bytes[16]} << 24 | uint32_t {c.bytes[17]} << 16
            | uint32_t {c.bytes[18]} << 8 | c.bytes[19];
        const uint32_t height = uint32_t {c.bytes[20]} << 24 | uint32_t {c.bytes[21]} << 16
            | uint32_t {c.bytes[22]} << 8 | c.bytes[23];
        (void)decodePng(c.bytes, static_cast<int>(width), static_cast<int>(height), &reason);
        qInstallMessageHandler(previous);
        EXPECT_EQ(said, 1) << c.name << ": " << loggedMessages.join(" | ").toStdString();
        EXPECT_TRUE(loggedMessages.value(0).startsWith("libpng ")) << c.name;
        EXPECT_EQ(console.text(), "") << c.name;
        EXPECT_EQ(decoded, c.decodes) << c.name;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
    }
}
