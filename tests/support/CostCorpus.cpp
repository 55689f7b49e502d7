#include "CostCorpus.h"

#include "PeBuilder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace fixture {

namespace {

uint32_t crc32Of(const uint8_t* data, size_t size)
{
    static const auto table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void appendBe32(ByteVec& b, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<uint8_t>(v >> shift));
}

ByteVec chunk(const char* type, const ByteVec& data)
{
    ByteVec c;
    appendBe32(c, static_cast<uint32_t>(data.size()));
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data.begin(), data.end());
    appendBe32(c, crc32Of(c.data() + 4, c.size() - 4));
    return c;
}

// A zlib stream of the bytes, without the length that qCompress puts first.
ByteVec deflated(const QByteArray& plain)
{
    const QByteArray packed = qCompress(plain, 9);
    return ByteVec(packed.begin() + 4, packed.end());
}

QByteArray iccProfile(size_t size)
{
    // A header that passes the decoder's checks, so that it inflates the rest.
    QByteArray p(static_cast<qsizetype>(size), '\0');
    auto be = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[at + i] = static_cast<char>(v >> (24 - 8 * i));
    };
    be(0, static_cast<uint32_t>(size));
    be(8, 0x02100000u);
    p.replace(12, 4, "mntr");
    p.replace(16, 4, "RGB ");
    p.replace(20, 4, "XYZ ");
    p.replace(36, 4, "acsp");
    be(68, 0x0000F6D6u);  // the D50 white point
    be(72, 0x00010000u);
    be(76, 0x0000D32Du);
    return p;
}

ByteVec pngBytes(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw std::runtime_error("PNG encoding failed");
    return ByteVec(png.begin(), png.end());
}

constexpr size_t kIhdrEnd = 33;  // signature and IHDR

struct Rsrc {
    ByteVec bytes;
    size_t dir(size_t entries)
    {
        const size_t at = bytes.size();
        bytes.resize(at + 16 + 8 * entries, 0);
        put16(bytes, at + 14, static_cast<uint32_t>(entries));
        return at;
    }
    void entry(size_t dirAt, size_t index, uint32_t name, uint32_t target)
    {
        put32(bytes, dirAt + 16 + 8 * index, name);
        put32(bytes, dirAt + 16 + 8 * index + 4, target);
    }
};

// A module whose groups (1 to groups) all lead to one group resource.
ByteVec sharedTreeModule(const ByteVec& icon, const ByteVec& group, int groups)
{
    constexpr uint32_t kSub = 0x80000000u;
    const PeOptions options;
    Rsrc r;
    const size_t root = r.dir(2);
    const size_t iconType = r.dir(1);
    const size_t groupType = r.dir(static_cast<size_t>(groups));
    const size_t iconName = r.dir(1);
    const size_t groupName = r.dir(1);
    r.entry(root, 0, 3, kSub | static_cast<uint32_t>(iconType));
    r.entry(root, 1, 14, kSub | static_cast<uint32_t>(groupType));
    r.entry(iconType, 0, 1, kSub | static_cast<uint32_t>(iconName));
    for (int g = 0; g < groups; ++g)
        r.entry(groupType, static_cast<size_t>(g), static_cast<uint32_t>(g + 1),
                kSub | static_cast<uint32_t>(groupName));
    const size_t iconData = r.bytes.size();
    const size_t groupData = iconData + 16;
    r.entry(iconName, 0, 0x409, static_cast<uint32_t>(iconData));
    r.entry(groupName, 0, 0x409, static_cast<uint32_t>(groupData));
    r.bytes.resize(groupData + 16, 0);
    const size_t iconAt = r.bytes.size();
    r.bytes.insert(r.bytes.end(), icon.begin(), icon.end());
    const size_t groupAt = r.bytes.size();
    r.bytes.insert(r.bytes.end(), group.begin(), group.end());
    put32(r.bytes, iconData, options.sectionVa + static_cast<uint32_t>(iconAt));
    put32(r.bytes, iconData + 4, static_cast<uint32_t>(icon.size()));
    put32(r.bytes, groupData, options.sectionVa + static_cast<uint32_t>(groupAt));
    put32(r.bytes, groupData + 4, static_cast<uint32_t>(group.size()));
    return wrapResourceSection(r.bytes, options);
}

}  // namespace

IcoImage pngWithInflatingChunks(const char (&type)[5], int count, size_t inflated)
{
    IcoImage image = pngImage(32, 32);
    const std::string name(type);
    ByteVec data;
    if (name == "iCCP") {
        const std::string profile = "icc";
        data.assign(profile.begin(), profile.end());
        data.insert(data.end(), {0, 0});  // end of the name, deflate
        const ByteVec z = deflated(iccProfile(inflated));
        data.insert(data.end(), z.begin(), z.end());
    } else {
        const std::string keyword = "Comment";
        data.assign(keyword.begin(), keyword.end());
        if (name == "iTXt")
            data.insert(data.end(), {0, 1, 0, 0, 0});  // compressed, deflate, no language, no translation
        else
            data.insert(data.end(), {0, 0});  // end of the keyword, deflate
        const ByteVec z = deflated(QByteArray(static_cast<qsizetype>(inflated), 'x'));
        data.insert(data.end(), z.begin(), z.end());
    }
    const ByteVec one = chunk(type, data);
    ByteVec chunks;
    for (int i = 0; i < count; ++i)
        chunks.insert(chunks.end(), one.begin(), one.end());
    image.data.insert(image.data.begin() + kIhdrEnd, chunks.begin(), chunks.end());
    return image;
}

IcoImage pngOneRowShort(int width, int height, uint32_t seed)
{
    QImage pixels(width, height - 1, QImage::Format_ARGB32);
    for (int y = 0; y < height - 1; ++y)
        for (int x = 0; x < width; ++x)
            pixels.setPixel(x, y, patternColor(x % 32, y % 32, 32, seed));
    ByteVec png = pngBytes(pixels);
    for (int i = 0; i < 4; ++i)
        png[20 + i] = static_cast<uint8_t>(static_cast<uint32_t>(height) >> (24 - 8 * i));
    const uint32_t crc = crc32Of(png.data() + 12, 17);
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    return IcoImage {png, width, height, 1, 32};
}

ByteVec icoNamingOneImage(const IcoImage& image, int entries)
{
    ByteVec b = icoFile({image});
    const ByteVec entry(b.begin() + 6, b.begin() + 22);
    const uint32_t offset = static_cast<uint32_t>(6 + 16 * entries);
    ByteVec out(b.begin(), b.begin() + 6);
    put16(out, 4, static_cast<uint32_t>(entries));
    for (int i = 0; i < entries; ++i) {
        out.insert(out.end(), entry.begin(), entry.end());
        put32(out, out.size() - 4, offset);
    }
    out.insert(out.end(), image.data.begin(), image.data.end());
    return out;
}

ByteVec moduleNamingOneImage(const IcoImage& image, int entries)
{
    const std::vector<uint16_t> ids(static_cast<size_t>(entries), 1);
    return sharedTreeModule(image.data, groupResource({image}, ids), 1);
}

ByteVec moduleOfSharedGroups(const IcoImage& image, int groups)
{
    return sharedTreeModule(image.data, groupResource({image}, {1}), groups);
}

void writeSparseFile(const std::string& path, const ByteVec& head, uint64_t size)
{
    writeFile(path, head);
    if (truncate(path.c_str(), static_cast<off_t>(size)) != 0)
        throw std::runtime_error("cannot extend " + path);
}

ByteVec icoClaimingHugeImage(uint32_t claimed)
{
    const IcoImage small = pngImage(32, 32);
    ByteVec b = icoFile({small, small});
    b.resize(6 + 32 + small.data.size());
    // Entry 0 becomes the huge one; entry 1 keeps the good image.
    put32(b, 6 + 8, claimed);
    put32(b, 6 + 12, static_cast<uint32_t>(b.size()));
    put32(b, 22 + 12, 38);
    return b;
}

std::vector<CorpusItem> costCorpus()
{
    const IcoImage good1024 = pngImage(1024, 1024);
    const IcoImage short1024 = pngOneRowShort(1024, 1024);
    std::vector<CorpusItem> items;
    for (const char* type : {"zTXt", "iTXt", "iCCP"}) {
        const std::string name(type);
        char t[5] = {type[0], type[1], type[2], type[3], 0};
        for (int count : {40, 120})
            items.push_back(
                {name + "_" + std::to_string(count) + ".ico", icoFile({pngWithInflatingChunks(t, count)})});
    }
    items.push_back({"short_row_1000_entries.ico", icoNamingOneImage(short1024, 1000)});
    items.push_back({"short_row_10000_entries.dll", moduleNamingOneImage(short1024, 10000)});
    items.push_back({"shared_png_1000_groups.dll", moduleOfSharedGroups(good1024, 1000)});
    items.push_back({"shared_png_65535_groups.dll", moduleOfSharedGroups(good1024, 65535)});
    items.push_back({"dib360_2000_entries.dll", moduleNamingOneImage(dibImage(360, 360, 24), 2000)});
    items.push_back({"tiny_65535_groups.dll", moduleOfSharedGroups(dibImage(16, 16, 4), 65535)});
    return items;
}

}  // namespace fixture
