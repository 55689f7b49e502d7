#include "platform/ShellIcons.h"

#include "CapturedStderr.h"
#include "CostCorpus.h"
#include "PeBuilder.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace platform;
using namespace fixture;

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);

uint32_t word(const QImage& image, int x, int y)
{
    return reinterpret_cast<const uint32_t*>(image.constScanLine(y))[x];
}

// The icon shows image (bits, seed) of the builders, stretched from `source`
// pixels to the icon's size pixel by pixel.
void expectImage(const Icon& icon, int size, int source, int bits, uint32_t seed)
{
    ASSERT_FALSE(icon.isNull());
    ASSERT_EQ(icon.width(), size);
    ASSERT_EQ(icon.height(), size);
    EXPECT_EQ(icon.bitDepth(), bits);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const uint32_t c = patternColor(x * source / size, y * source / size, bits, seed);
            ASSERT_EQ(word(icon.colorBitmap(), x, y), bits == 32 ? c : c & 0xFFFFFFu)
                << "pixel " << x << "," << y;
        }
}

QString writeTemp(const QTemporaryDir& dir, const QString& name, const ByteVec& bytes)
{
    const QString path = dir.filePath(name);
    writeFile(path.toStdString(), bytes);
    return path;
}

}  // namespace

TEST(ShellIcons, ProbesWhatAFileIs)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ByteVec ico = icoFile({dibImage(16, 16, 4)});
    ByteVec cursor = ico;
    put16(cursor, 2, 2);
    const ByteVec shortIco(ico.begin(), ico.begin() + 20);
    struct Case {
        QString path;
        IconSourceKind kind;
        int count;
    };
    const std::vector<Case> cases = {
        {kFixtures + "/loader.dll", IconSourceKind::Executable, 7},
        {kFixtures + "/groups64.dll", IconSourceKind::Executable, 3},
        {kFixtures + "/noicons.dll", IconSourceKind::Executable, 0},
        {writeTemp(dir, "dos.exe", {'M', 'Z', 0, 0}), IconSourceKind::Executable, 0},
        {kFixtures + "/icons/many.ico", IconSourceKind::IconFile, 1},
        // Found by content, not by name.
        {writeTemp(dir, "icon.txt", ico), IconSourceKind::IconFile, 1},
        {writeTemp(dir, "cursor.ico", cursor), IconSourceKind::None, 0},
        {writeTemp(dir, "short.ico", shortIco), IconSourceKind::None, 0},
        {writeTemp(dir, "empty.ico", {}), IconSourceKind::None, 0},
        {writeTemp(dir, "notes.txt", {'h', 'i', '\n'}), IconSourceKind::None, 0},
        {dir.filePath("missing.dll"), IconSourceKind::None, 0},
        {dir.path(), IconSourceKind::None, 0},
    };
    for (const Case& c : cases) {
        const IconSource source = probeIconSource(c.path);
        EXPECT_EQ(source.kind, c.kind) << c.path.toStdString();
        EXPECT_EQ(source.count, c.count) << c.path.toStdString();
        EXPECT_EQ(iconCount(c.path), c.count);
        EXPECT_EQ(extractIcons(c.path, 32).size(), static_cast<size_t>(c.count)) << c.path.toStdString();
    }
}

TEST(ShellIcons, OneIconPerGroupInGroupOrder)
{
    for (const char* name : {"/groups32.dll", "/groups64.dll"}) {
        const QString path = kFixtures + name;
        const std::vector<Icon> icons = extractIcons(path, kLargeIconSize);
        ASSERT_EQ(icons.size(), 3u);
        // MAINICON (16 x 16 at 4 bits, 32 x 32 at 8), 1 (depths, 32 bits
        // chosen), 5 (PNG 256, 48 and 32 at 32 bits: the exact 32).
        expectImage(icons[0], 32, 32, 8, 1);
        expectImage(icons[1], 32, 32, 32, 2);
        expectImage(icons[2], 32, 32, 32, 3);
        expectImage(extractIcons(path, kSmallIconSize, 0, 1).at(0), 16, 16, 4, 1);

        const std::vector<Icon> tail = extractIcons(path, 32, 1);
        ASSERT_EQ(tail.size(), 2u);
        expectImage(tail[1], 32, 32, 32, 3);
        EXPECT_TRUE(extractIcons(path, 32, 3).empty());
        expectImage(extractIcon(path, -5, 32), 32, 32, 32, 3);
        expectImage(extractIcon(path, 1, 32), 32, 32, 32, 2);
        EXPECT_TRUE(extractIcon(path, -7, 32).isNull());
        EXPECT_TRUE(extractIcon(path, 3, 32).isNull());
    }
}

TEST(ShellIcons, ChoosesTheImageLikeTheIconLoader)
{
    struct Case {
        size_t group;
        int size;
        int source;  // width of the chosen image
        int bits;
        uint32_t seed;
    };
    const std::vector<Case> cases = {
        {0, 32, 32, 32, 12},                      // exact size, deepest of three
        {0, 16, 16, 8, 10},  {1, 32, 48, 8, 21},  // only larger: the nearest one, scaled down
        {1, 16, 48, 8, 21},  {2, 32, 24, 8, 31},  // only smaller: the largest, scaled up
        {2, 16, 16, 4, 30},  {3, 32, 32, 32, 2},  // 1, 4, 8, 24 and 32 bits at one size
        {6, 32, 32, 16, 50},                      // 5-6-5 bit fields
        {6, 16, 16, 16, 51},                      // 5-5-5
    };
    const QString path = kFixtures + "/loader.dll";
    for (int size : {32, 16}) {
        const std::vector<Icon> icons = extractIcons(path, size);
        ASSERT_EQ(icons.size(), 7u);
        for (const Case& c : cases) {
            if (c.size != size)
                continue;
            SCOPED_TRACE(testing::Message() << "group " << c.group << " at " << size);
            if (c.group == 6) {
                // Bit fields decode as the 24-bit pattern cut to the fields.
                const Icon& icon = icons[c.group];
                ASSERT_EQ(icon.width(), size);
                EXPECT_EQ(icon.bitDepth(), 16);
                const uint32_t keep = size == 32 ? 0xF8FCF8u : 0xF8F8F8u;
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x)
                        ASSERT_EQ(word(icon.colorBitmap(), x, y), patternColor(x, y, 24, c.seed) & keep);
            } else {
                expectImage(icons[c.group], size, c.source, c.bits, c.seed);
            }
        }
        // The PNG-only group is scaled down from 256 pixels.
        const Icon& png = icons[4];
        ASSERT_FALSE(png.isNull());
        EXPECT_EQ(png.width(), size);
        EXPECT_EQ(png.bitDepth(), 32);
        EXPECT_TRUE(png.hasAlpha());
        // A group whose images are all broken keeps its place, empty.
        EXPECT_TRUE(icons[5].isNull());
    }
}

TEST(ShellIcons, RanksImages)
{
    using E = IconDirEntry;
    struct Case {
        const char* what;
        std::vector<E> entries;
        int size;
        size_t first;
    };
    const std::vector<Case> cases = {
        {"exact beats deeper larger", {{48, 48, 32}, {32, 32, 4}}, 32, 1},
        {"deepest at the exact size", {{32, 32, 8}, {32, 32, 32}, {32, 32, 24}}, 32, 1},
        {"deeper than the screen last", {{32, 32, 64}, {32, 32, 8}}, 32, 1},
        {"nearest larger", {{256, 256, 32}, {64, 64, 8}, {48, 48, 4}}, 32, 2},
        {"larger before smaller", {{24, 24, 32}, {256, 256, 4}}, 32, 1},
        {"largest smaller", {{16, 16, 32}, {24, 24, 4}}, 32, 1},
        {"ties keep group order", {{32, 32, 8}, {32, 32, 8}}, 32, 0},
        {"only one", {{16, 16, 1}}, 32, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rankIconImages(c.entries, c.size).at(0), c.first) << c.what;
    EXPECT_TRUE(rankIconImages({}, 32).empty());

    // Directory width 0 is 256; a bit count of 0 comes from the colours.
    ByteVec group = groupResource({pngImage(256, 256), dibImage(16, 16, 4)}, {1, 2});
    group[6 + 14 + 2] = 16;
    group[6 + 14 + 6] = 0;
    const auto entries = readGroupDirectory(group);
    ASSERT_TRUE(entries);
    EXPECT_EQ((*entries)[0].width, 256);
    EXPECT_EQ((*entries)[1].bits, 4);
    EXPECT_EQ((*entries)[1].location, 2u);
}

TEST(ShellIcons, BrokenGroupsInModules)
{
    const IcoImage good16 = dibImage(16, 16, 8, 4);
    const IcoImage good32 = dibImage(32, 32, 24, 5);
    IcoImage huge = dibImage(32, 32, 24, 6);
    put32(huge.data, 4, 100000);
    ByteVec shortGroup = groupResource({good16}, {10});
    put16(shortGroup, 4, 2);  // two images, room for one
    const std::vector<PeRes> resources = {
        {3, {}, 10, {}, 0x409, good16.data},
        {3, {}, 11, {}, 0x409, good32.data},
        {3, {}, 12, {}, 0x409, huge.data},
        // Best image missing, then broken: the next one stands in.
        {14, {}, 1, {}, 0x409, groupResource({good32, good32, good16}, {99, 12, 10})},
        {14, {}, 2, {}, 0x409, shortGroup},
        {14, {}, 3, {}, 0x409, groupResource({}, {})},
        {14, {}, 4, {}, 0x409, ByteVec {0, 0, 1}},
        {14, {}, 5, {}, 0x409, groupResource({good32}, {11})},
    };
    QTemporaryDir dir;
    const QString path = writeTemp(dir, "broken.dll", buildPe(resources, {.pe64 = true}).bytes);
    const std::vector<Icon> icons = extractIcons(path, 32);
    ASSERT_EQ(icons.size(), 5u);
    expectImage(icons[0], 32, 16, 8, 4);
    EXPECT_TRUE(icons[1].isNull());
    EXPECT_TRUE(icons[2].isNull());
    EXPECT_TRUE(icons[3].isNull());
    expectImage(icons[4], 32, 32, 24, 5);
}

TEST(ShellIcons, IconFiles)
{
    const QString path = kFixtures + "/icons/loader_exact.ico";
    std::vector<Icon> icons = extractIcons(path, 32);
    ASSERT_EQ(icons.size(), 1u);
    expectImage(icons[0], 32, 32, 32, 12);
    expectImage(extractIcons(path, 16).at(0), 16, 16, 8, 10);
    EXPECT_TRUE(extractIcons(path, 32, 1).empty());
    EXPECT_TRUE(extractIcon(path, -1, 32).isNull());

    // A byte count past the end is read up to the end; an offset past the
    // end gives no image; the next image stands in.
    ByteVec file = icoFile({dibImage(32, 32, 8, 7), dibImage(16, 16, 4, 8)});
    put32(file, 6 + 8, 0x7FFFFFFF);
    QTemporaryDir dir;
    expectImage(extractIcons(writeTemp(dir, "a.ico", file), 32).at(0), 32, 32, 8, 7);
    put32(file, 6 + 12, 0x7FFFFFF0);
    expectImage(extractIcons(writeTemp(dir, "b.ico", file), 32).at(0), 32, 16, 4, 8);
    EXPECT_TRUE(extractIcons(kFixtures + "/icons/loader_broken.ico", 32).at(0).isNull());
}

TEST(ShellIcons, AnImageNamedManyTimesIsDecodedOnce)
{
    // Groups that share one image share its pixels too.
    QTemporaryDir dir;
    const QString shared = writeTemp(dir, "shared.dll", moduleOfSharedGroups(dibImage(64, 64, 24, 2), 40));
    const std::vector<Icon> icons = extractIcons(shared, 32);
    ASSERT_EQ(icons.size(), 40u);
    expectImage(icons[0], 32, 64, 24, 2);
    for (const Icon& icon : icons)
        EXPECT_EQ(icon.colorBitmap().cacheKey(), icons[0].colorBitmap().cacheKey());

    // A broken image that 300 entries name is tried once; the good one
    // after it stands in.
    const IcoImage broken = pngOneRowShort(32, 32);
    const IcoImage good = dibImage(16, 16, 8, 3);
    ByteVec ico = icoNamingOneImage(broken, 301);
    put32(ico, 6 + 16 * 300 + 12, static_cast<uint32_t>(ico.size()));
    put32(ico, 6 + 16 * 300 + 8, static_cast<uint32_t>(good.data.size()));
    ico[6 + 16 * 300] = ico[6 + 16 * 300 + 1] = 16;
    ico.insert(ico.end(), good.data.begin(), good.data.end());
    IconImageCache icoCache;
    expectImage(iconFromIcoFile(ico, 32, icoCache), 32, 16, 8, 3);
    EXPECT_EQ(icoCache.decodes(), 2);

    const std::vector<uint16_t> ids = [] {
        std::vector<uint16_t> v(300, 1);
        v.push_back(2);
        return v;
    }();
    const ByteVec module = buildPe({{3, {}, 1, {}, 0x409, broken.data},
                                    {3, {}, 2, {}, 0x409, good.data},
                                    {14, {}, 1, {}, 0x409, groupResource({}, ids)}})
                               .bytes;
    const auto pe = PeModule::fromBytes(module);
    ASSERT_TRUE(pe);
    const auto group = pe->findResource(ResourceId::fromId(14), ResourceId::fromId(1));
    ASSERT_TRUE(group);
    IconImageCache groupCache;
    expectImage(iconFromGroup(*pe, *group, 32, groupCache), 32, 16, 8, 3);
    EXPECT_EQ(groupCache.decodes(), 2);

    // It is said once, to the program's log and not on the console.
    const QString file = writeTemp(dir, "broken.ico", ico);
    static QStringList said;
    said.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { said << message; });
    CapturedStderr console;
    expectImage(extractIcons(file, 32).at(0), 32, 16, 8, 3);
    qInstallMessageHandler(previous);
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(said, QStringList {"libpng error: Not enough image data"});
}

TEST(ShellIcons, SparseIcoFileIsReadByItsDirectory)
{
    // 40 GB, of which a few kilobytes are stored: the first entry claims
    // 4 GB of nothing, the second is a good image.
    QTemporaryDir dir;
    const QString path = dir.filePath("sparse.ico");
    const ByteVec head = icoClaimingHugeImage(0xFFFFFF00u);
    writeSparseFile(path.toStdString(), head, uint64_t {40} << 30);
    EXPECT_EQ(probeIconSource(path).kind, IconSourceKind::IconFile);
    const std::vector<Icon> icons = extractIcons(path, 32);
    ASSERT_EQ(icons.size(), 1u);
    ASSERT_FALSE(icons[0].isNull());
    EXPECT_EQ(icons[0].width(), 32);
}

TEST(ShellIcons, AssociatedIcon)
{
    QTemporaryDir dir;
    const QString text = writeTemp(dir, "notes.txt", {'h', 'i', '\n'});
    for (int size : {kLargeIconSize, kSmallIconSize}) {
        const Icon icon = associatedIcon(text, size);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.width(), size);
        EXPECT_EQ(icon.height(), size);
        EXPECT_EQ(icon.bitDepth(), 32);
        // Something is drawn, and not everything.
        const QImage pixels = icon.toImage();
        int opaque = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                opaque += qAlpha(pixels.pixel(x, y)) == 255;
        EXPECT_GT(opaque, size * size / 4);
        EXPECT_LT(opaque, size * size);
    }
    EXPECT_TRUE(associatedIcon(dir.filePath("missing.txt"), 32).isNull());
}
