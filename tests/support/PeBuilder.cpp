#include "PeBuilder.h"

#include <map>

namespace fixture {

namespace {

struct Key {
    uint16_t id;
    std::u16string name;
    bool operator==(const Key&) const = default;
};

struct LangNode {
    uint16_t lang;
    size_t resource;
};
struct NameNode {
    Key key;
    std::vector<LangNode> langs;
};
struct TypeNode {
    Key key;
    std::vector<NameNode> names;
};

template <typename Node> Node& findOrAdd(std::vector<Node>& nodes, const Key& key)
{
    for (Node& n : nodes)
        if (n.key == key)
            return n;
    nodes.push_back(Node {key, {}});
    return nodes.back();
}

// Named entries first, each kind in the order given.
template <typename Node> std::vector<Node*> ordered(std::vector<Node>& nodes)
{
    std::vector<Node*> out;
    for (Node& n : nodes)
        if (!n.key.name.empty())
            out.push_back(&n);
    for (Node& n : nodes)
        if (n.key.name.empty())
            out.push_back(&n);
    return out;
}

size_t dirSize(size_t entries) { return 16 + 8 * entries; }

}  // namespace

ByteVec wrapResourceSection(const ByteVec& rsrc, const PeOptions& options)
{
    const size_t rsrcSize = rsrc.size();
    // Headers: DOS stub, COFF header, optional header, one section.
    const bool pe64 = options.pe64;
    const size_t optSize = pe64 ? 240 : 224;
    const size_t peAt = 0x40;
    const size_t optAt = peAt + 24;
    const size_t sectionAt = optAt + optSize;
    const size_t rawSize = (rsrcSize + 0x1FF) & ~size_t {0x1FF};
    ByteVec b(options.rawOffset + rawSize, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, peAt);
    put32(b, peAt, 0x00004550);
    put16(b, peAt + 4, pe64 ? 0x8664 : 0x14C);
    put16(b, peAt + 6, 1);
    put16(b, peAt + 20, static_cast<uint32_t>(optSize));
    put16(b, peAt + 22, 0x2102);
    put16(b, optAt, pe64 ? 0x20B : 0x10B);
    const size_t dirs = optAt + (pe64 ? 112 : 96);
    put32(b, dirs - 4, 16);
    put32(b, dirs + 2 * 8, options.sectionVa);
    put32(b, dirs + 2 * 8 + 4, static_cast<uint32_t>(rsrcSize));
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    std::copy(name, name + 8, b.begin() + static_cast<long>(sectionAt));
    put32(b, sectionAt + 8, static_cast<uint32_t>(rsrcSize));
    put32(b, sectionAt + 12, options.sectionVa);
    put32(b, sectionAt + 16, static_cast<uint32_t>(rawSize));
    put32(b, sectionAt + 20, options.rawOffset);
    std::copy(rsrc.begin(), rsrc.end(), b.begin() + options.rawOffset);
    return b;
}

BuiltPe buildPe(const std::vector<PeRes>& resources, const PeOptions& options)
{
    std::vector<TypeNode> types;
    for (size_t i = 0; i < resources.size(); ++i) {
        const PeRes& r = resources[i];
        TypeNode& t = findOrAdd(types, Key {r.typeId, r.typeName});
        NameNode& n = findOrAdd(t.names, Key {r.nameId, r.name});
        n.langs.push_back({r.lang, i});
    }
    auto typeOrder = ordered(types);

    // Lay out: root, type dirs, name dirs, data entries, strings, data.
    size_t at = dirSize(typeOrder.size());
    std::vector<size_t> typeAt;
    for (TypeNode* t : typeOrder) {
        typeAt.push_back(at);
        at += dirSize(t->names.size());
    }
    std::map<const NameNode*, size_t> nameAt;
    for (TypeNode* t : typeOrder)
        for (NameNode* n : ordered(t->names)) {
            nameAt[n] = at;
            at += dirSize(n->langs.size());
        }
    std::vector<size_t> entryAt(resources.size());
    for (size_t i = 0; i < resources.size(); ++i) {
        entryAt[i] = at;
        at += 16;
    }
    std::map<std::u16string, size_t> stringAt;
    std::vector<size_t> stringOrder;
    auto addString = [&](const std::u16string& s) {
        if (s.empty() || stringAt.count(s))
            return;
        stringAt[s] = at;
        stringOrder.push_back(at);
        at += 2 + 2 * s.size();
    };
    for (TypeNode* t : typeOrder) {
        addString(t->key.name);
        for (NameNode* n : ordered(t->names))
            addString(n->key.name);
    }
    std::vector<size_t> dataAt(resources.size());
    for (size_t i = 0; i < resources.size(); ++i) {
        at = (at + 7) & ~size_t {7};
        dataAt[i] = at;
        at += resources[i].data.size();
    }
    const size_t rsrcSize = at;

    ByteVec rsrc(rsrcSize, 0);
    auto entryName = [&](const Key& k) -> uint32_t {
        return k.name.empty() ? k.id : 0x80000000u | static_cast<uint32_t>(stringAt[k.name]);
    };
    auto writeDir = [&](size_t dirAt, size_t named, size_t ids) {
        put16(rsrc, dirAt + 12, static_cast<uint32_t>(named));
        put16(rsrc, dirAt + 14, static_cast<uint32_t>(ids));
    };
    auto countNamed = [](const auto& nodes) {
        size_t n = 0;
        for (const auto* p : nodes)
            n += !p->key.name.empty();
        return n;
    };
    writeDir(0, countNamed(typeOrder), typeOrder.size() - countNamed(typeOrder));
    for (size_t ti = 0; ti < typeOrder.size(); ++ti) {
        TypeNode* t = typeOrder[ti];
        put32(rsrc, 16 + 8 * ti, entryName(t->key));
        put32(rsrc, 16 + 8 * ti + 4, 0x80000000u | static_cast<uint32_t>(typeAt[ti]));
        auto names = ordered(t->names);
        writeDir(typeAt[ti], countNamed(names), names.size() - countNamed(names));
        for (size_t ni = 0; ni < names.size(); ++ni) {
            NameNode* n = names[ni];
            put32(rsrc, typeAt[ti] + 16 + 8 * ni, entryName(n->key));
            put32(rsrc, typeAt[ti] + 16 + 8 * ni + 4, 0x80000000u | static_cast<uint32_t>(nameAt[n]));
            writeDir(nameAt[n], 0, n->langs.size());
            for (size_t li = 0; li < n->langs.size(); ++li) {
                put32(rsrc, nameAt[n] + 16 + 8 * li, n->langs[li].lang);
                put32(rsrc, nameAt[n] + 16 + 8 * li + 4,
                      static_cast<uint32_t>(entryAt[n->langs[li].resource]));
            }
        }
    }
    for (const auto& [s, sAt] : stringAt) {
        put16(rsrc, sAt, static_cast<uint32_t>(s.size()));
        for (size_t i = 0; i < s.size(); ++i)
            put16(rsrc, sAt + 2 + 2 * i, s[i]);
    }
    for (size_t i = 0; i < resources.size(); ++i) {
        put32(rsrc, entryAt[i], static_cast<uint32_t>(options.sectionVa + dataAt[i]));
        put32(rsrc, entryAt[i] + 4, static_cast<uint32_t>(resources[i].data.size()));
        std::copy(resources[i].data.begin(), resources[i].data.end(),
                  rsrc.begin() + static_cast<long>(dataAt[i]));
    }

    BuiltPe built;
    built.bytes = wrapResourceSection(rsrc, options);
    built.sectionHeader = 0x40 + 24 + (options.pe64 ? 240 : 224);
    built.rsrcRoot = options.rawOffset;
    for (size_t t : typeAt)
        built.typeDirs.push_back(options.rawOffset + t);
    for (size_t e : entryAt)
        built.dataEntries.push_back(options.rawOffset + e);
    for (size_t s : stringOrder)
        built.nameStrings.push_back(options.rawOffset + s);
    return built;
}

ByteVec groupResource(const std::vector<IcoImage>& images, const std::vector<uint16_t>& ids)
{
    ByteVec b(6 + 14 * ids.size(), 0);
    put16(b, 2, 1);
    put16(b, 4, static_cast<uint32_t>(ids.size()));
    for (size_t i = 0; i < ids.size(); ++i) {
        const size_t e = 6 + 14 * i;
        if (i < images.size()) {
            const IcoImage& im = images[i];
            b[e] = static_cast<uint8_t>(im.width);
            b[e + 1] = static_cast<uint8_t>(im.height);
            put16(b, e + 4, static_cast<uint32_t>(im.planes));
            put16(b, e + 6, static_cast<uint32_t>(im.bits));
            put32(b, e + 8, static_cast<uint32_t>(im.data.size()));
        }
        put16(b, e + 12, ids[i]);
    }
    return b;
}

}  // namespace fixture
