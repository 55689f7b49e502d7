#include "ChmDamage.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace {

uint64_t le(const QByteArray& b, qsizetype at, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint64_t {static_cast<uint8_t>(b[at + i])} << (8 * i);
    return v;
}

void put(QByteArray& b, qsizetype at, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[at + i] = static_cast<char>(value >> (8 * i));
}

std::optional<uint64_t> encint(const QByteArray& b, qsizetype& at, qsizetype end)
{
    uint64_t v = 0;
    for (int i = 0; i < 10 && at < end; ++i) {
        const auto c = static_cast<uint8_t>(b[at++]);
        v = (v << 7) | (c & 0x7F);
        if (!(c & 0x80))
            return v;
    }
    return std::nullopt;
}

struct Layout {
    qsizetype directory = 0;  // the ITSP header
    qsizetype chunkSize = 0;
    qsizetype firstChunk = 0;
    qsizetype content = 0;  // the start of section 0
    qsizetype controlData = -1;
    qsizetype resetTable = -1;
    qsizetype compressed = -1;
    qsizetype compressedLength = 0;
};

std::optional<Layout> layoutOf(const QByteArray& b)
{
    if (b.size() < 0x60 || !b.startsWith("ITSF"))
        return std::nullopt;
    Layout l;
    l.directory = static_cast<qsizetype>(le(b, 0x48, 8));
    l.content = static_cast<qsizetype>(le(b, 0x58, 8));
    if (l.directory + 0x54 > b.size() || b.mid(l.directory, 4) != "ITSP")
        return std::nullopt;
    l.chunkSize = static_cast<qsizetype>(le(b, l.directory + 16, 4));
    l.firstChunk = l.directory + 0x54 + static_cast<qsizetype>(le(b, l.directory + 32, 4)) * l.chunkSize;
    const qsizetype chunks = static_cast<qsizetype>(le(b, l.directory + 44, 4));
    for (qsizetype c = 0; c < chunks; ++c) {
        const qsizetype chunk = l.directory + 0x54 + c * l.chunkSize;
        if (chunk + l.chunkSize > b.size() || b.mid(chunk, 4) != "PMGL")
            continue;
        const qsizetype end = chunk + l.chunkSize - static_cast<qsizetype>(le(b, chunk + 4, 4));
        for (qsizetype at = chunk + 20; at < end;) {
            const auto nameLength = encint(b, at, end);
            if (!nameLength)
                break;
            const QByteArray name = b.mid(at, static_cast<qsizetype>(*nameLength));
            at += static_cast<qsizetype>(*nameLength);
            const auto section = encint(b, at, end);
            const auto offset = encint(b, at, end);
            const auto length = encint(b, at, end);
            if (!section || !offset || !length)
                break;
            const qsizetype where = l.content + static_cast<qsizetype>(*offset);
            if (name == "::DataSpace/Storage/MSCompressed/ControlData")
                l.controlData = where;
            else if (name.endsWith("/InstanceData/ResetTable"))
                l.resetTable = where;
            else if (name == "::DataSpace/Storage/MSCompressed/Content") {
                l.compressed = where;
                l.compressedLength = static_cast<qsizetype>(*length);
            }
        }
    }
    if (l.controlData < 0 || l.resetTable < 0 || l.compressed < 0 || l.controlData + 28 > b.size()
        || l.resetTable + 0x28 > b.size() || b.mid(l.controlData + 4, 4) != "LZXC")
        return std::nullopt;
    return l;
}

}  // namespace

std::vector<DamagedChm> damagedCopies(const QByteArray& chm)
{
    const std::optional<Layout> found = layoutOf(chm);
    if (!found)
        return {};
    const Layout& l = *found;
    std::vector<DamagedChm> copies;
    auto patched = [&](const char* fault, qsizetype at, uint64_t value, int bytes) {
        QByteArray copy = chm;
        put(copy, at, value, bytes);
        copies.push_back({fault, copy});
    };
    // The LZX control data: version, reset interval, window size, windows
    // per reset.
    patched("LZXC version 1", l.controlData + 8, 1, 4);
    patched("LZXC version 3", l.controlData + 8, 3, 4);
    patched("LZXC reset interval 0", l.controlData + 12, 0, 4);
    patched("LZXC window size 0", l.controlData + 16, 0, 4);
    patched("LZXC window size 2^31", l.controlData + 16, 0x10000, 4);
    patched("LZXC windows per reset 0", l.controlData + 20, 0, 4);
    // The directory.
    {
        QByteArray copy = chm;
        put(copy, l.firstChunk + 12, static_cast<uint64_t>((l.firstChunk - l.directory - 0x54) / l.chunkSize),
            4);
        put(copy, l.firstChunk + 16, le(copy, l.firstChunk + 12, 4), 4);
        copies.push_back({"PMGL chain back on itself", copy});
    }
    patched("ITSP chunk size 0", l.directory + 16, 0, 4);
    patched("ITSP chunk size 2 GB", l.directory + 16, 0x7FFFFFF0, 4);
    patched("ITSP first chunk past the end", l.directory + 32, 0x00FFFFFF, 4);
    patched("ITSF directory past the end", 0x48, static_cast<uint64_t>(chm.size()) * 4, 8);
    patched("ITSF content past the end", 0x58, static_cast<uint64_t>(chm.size()) * 4, 8);
    // The reset table: its entries' offset, the block length, the first
    // block's place in the compressed data.
    patched("reset table offset past the end", l.resetTable + 12, 0x7FFFFFF0, 4);
    patched("reset table block length 0", l.resetTable + 32, 0, 8);
    patched("reset table block length 4 GB", l.resetTable + 32, 0xFFFFFFFFull, 8);
    {
        QByteArray copy = chm;
        const qsizetype entries = l.resetTable + static_cast<qsizetype>(le(chm, l.resetTable + 12, 4));
        const qsizetype count = static_cast<qsizetype>(le(chm, l.resetTable + 4, 4));
        for (qsizetype i = 0; i < count && entries + i * 8 + 8 <= copy.size(); ++i)
            put(copy, entries + i * 8, 0x7FFFFFFF00000000ull, 8);
        copies.push_back({"reset table entries past the end", copy});
    }
    // The compressed data itself.
    {
        QByteArray copy = chm;
        for (qsizetype i = 0; i < l.compressedLength && l.compressed + i < copy.size(); ++i)
            copy[l.compressed + i] = static_cast<char>(0xFF);
        copies.push_back({"LZX data all ones", copy});
    }
    // Cut short.
    copies.push_back({"cut in half", chm.left(chm.size() / 2)});
    copies.push_back({"cut after the directory", chm.left(l.content)});
    copies.push_back({"only the header", chm.left(0x60)});
    copies.push_back({"empty", QByteArray()});
    return copies;
}
