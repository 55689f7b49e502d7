#include "platform/ByteReader.h"
#include "platform/Exceptions.h"
#include "platform/PeModule.h"
#include "platform/ShellIcons.h"

#include "PeBuilder.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <unistd.h>

using namespace platform;
using namespace fixture;

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);
const ResourceId kGroup = ResourceId::fromType(ResType::GroupIcon);
const ResourceId kIcon = ResourceId::fromType(ResType::Icon);

QStringList names(const std::vector<ResourceId>& ids)
{
    QStringList out;
    for (const ResourceId& id : ids)
        out << (id.isId() ? QString::number(*id.id) : id.name);
    return out;
}

}  // namespace

class FixtureModule : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureModule, ListsGroupsInDirectoryOrderAndFindsThem)
{
    auto module = PeModule::open(kFixtures + "/" + GetParam());
    ASSERT_TRUE(module);
    EXPECT_EQ(module->is64(), QString(GetParam()).contains("64"));
    EXPECT_EQ(names(module->resourceNames(kGroup)), QStringList({"MAINICON", "1", "5"}));
    EXPECT_EQ(module->resourceCount(kGroup), 3u);
    EXPECT_TRUE(module->findResource(kGroup, ResourceId::fromName("mainicon")));
    EXPECT_TRUE(module->findResource(kGroup, ResourceId::fromName("#5")));
    EXPECT_TRUE(module->findResource(kGroup, ResourceId::fromId(1)));
    EXPECT_FALSE(module->findResource(kGroup, ResourceId::fromId(2)));
    auto group = module->findResource(kGroup, ResourceId::fromId(1));
    ASSERT_TRUE(group);
    EXPECT_EQ(group->size(), 6u + 14 * 5);
}

TEST_P(FixtureModule, ReadsStringsAndVersion)
{
    auto module = PeModule::open(kFixtures + "/" + GetParam());
    ASSERT_TRUE(module);
    EXPECT_EQ(module->loadString(1), QString("First"));
    EXPECT_EQ(module->loadString(17), QString("Second block"));
    EXPECT_EQ(module->loadString(50000), QString("5.1.0.2"));
    EXPECT_EQ(module->loadString(2), QString());      // in a present block, empty
    EXPECT_EQ(module->loadString(40), std::nullopt);  // no such block
    auto v = module->versionResource();
    ASSERT_TRUE(v);
    auto translation = version::queryValue(*v, "\\VarFileInfo\\Translation");
    ASSERT_TRUE(translation);
    ASSERT_GE(translation->size(), 4u);
    EXPECT_EQ((*translation)[0] | ((*translation)[1] << 8), 0x409);
    EXPECT_EQ((*translation)[2] | ((*translation)[3] << 8), 1252);
    EXPECT_EQ(version::queryString(*v, "\\StringFileInfo\\040904e4\\FileVersion"), QString("1.2.3.4"));
    EXPECT_EQ(version::queryString(*v, "\\StringFileInfo\\040904E4\\Missing"), std::nullopt);
    auto fixed = version::queryValue(*v, "\\");
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->size(), 52u);
}

INSTANTIATE_TEST_SUITE_P(Arch, FixtureModule, ::testing::Values("groups32.dll", "groups64.dll"));

TEST(PeModule, RefusesWhatIsNotAModule)
{
    EXPECT_FALSE(PeModule::open(kFixtures + "/icons/mixed.ico"));
    EXPECT_FALSE(PeModule::open(kFixtures + "/does-not-exist.dll"));
    EXPECT_FALSE(PeModule::open(kFixtures));  // a folder
    ByteVec bytes = buildPe({}).bytes;
    EXPECT_TRUE(PeModule::fromBytes(bytes));
    ByteVec badMagic = bytes;
    put16(badMagic, 0x40 + 24, 0x107);
    EXPECT_FALSE(PeModule::fromBytes(badMagic));
    ByteVec badSignature = bytes;
    badSignature[0x41] = 'X';
    EXPECT_FALSE(PeModule::fromBytes(badSignature));
    ByteVec farHeader = bytes;
    put32(farHeader, 0x3C, 0xFFFFFFF0u);
    EXPECT_FALSE(PeModule::fromBytes(farHeader));
}

TEST(PeModule, FileThatShrinksWhileItIsReadIsReportedNotAFault)
{
    // A group near the start of the resources, a 3 MB image far behind it.
    ByteVec image(3 << 20, 0x5A);
    const BuiltPe pe = buildPe({{14, {}, 1, {}, 0x409, ByteVec(20, 1)}, {3, {}, 1, {}, 0x409, image}});
    QTemporaryDir dir;
    const QString path = dir.filePath("shrinks.dll");
    writeFile(QFile::encodeName(path).toStdString(), pe.bytes);

    const auto module = PeModule::open(path);
    ASSERT_TRUE(module);
    EXPECT_EQ(names(module->resourceNames(kGroup)), QStringList {"1"});
    ASSERT_EQ(truncate(QFile::encodeName(path).constData(), 256 << 10), 0);
    try {
        const auto bytes = module->findResource(kIcon, ResourceId::fromId(1));
        ASSERT_TRUE(bytes);
        // Every byte is looked at, as a reader of the image would.
        unsigned sum = 0;
        for (const uint8_t b : *bytes)
            sum += b;
        ADD_FAILURE() << "no error, sum " << sum;
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), path + " changed while it was read");
    }
    // What was read before stays readable.
    EXPECT_TRUE(module->findResource(kGroup, ResourceId::fromId(1)));
}

TEST(PeModule, ChoosesNeutralThenUsEnglishThenFirst)
{
    auto res = [](uint16_t lang, uint8_t tag) { return PeRes {14, {}, 7, {}, lang, {tag}}; };
    struct Case {
        std::vector<uint16_t> langs;
        uint8_t expected;
    } cases[] = {
        {{0x407, 0x409, 0}, 3},  // neutral
        {{0x407, 0x409}, 2},     // US English
        {{0x407, 0x419}, 1},     // the first stored
    };
    for (const Case& c : cases) {
        std::vector<PeRes> rs;
        uint8_t tag = 1;
        for (uint16_t lang : c.langs)
            rs.push_back(res(lang, tag++));
        const ByteVec bytes = buildPe(rs).bytes;
        auto module = PeModule::fromBytes(bytes);
        ASSERT_TRUE(module);
        auto found = module->findResource(kGroup, ResourceId::fromId(7));
        ASSERT_TRUE(found);
        EXPECT_EQ((*found)[0], c.expected);
    }
}

TEST(PeModule, MapsAddressesThroughTheSectionTable)
{
    for (bool pe64 : {false, true}) {
        const ByteVec bytes
            = buildPe({{3, {}, 1, {}, 0, {1, 2, 3}}, {14, {}, 0, u"ALPHA", 0, {9}}}, {pe64, 0x12000, 0x600})
                  .bytes;
        auto module = PeModule::fromBytes(bytes);
        ASSERT_TRUE(module);
        auto icon = module->findResource(kIcon, ResourceId::fromId(1));
        ASSERT_TRUE(icon);
        EXPECT_EQ(std::vector<uint8_t>(icon->begin(), icon->end()), (std::vector<uint8_t> {1, 2, 3}));
        EXPECT_EQ(names(module->resourceNames(kGroup)), QStringList({"ALPHA"}));
    }
}

// Each broken file must give a clean "not found", never a read outside it.
TEST(PeModule, HostileResourceDirectoriesFailCleanly)
{
    const std::vector<PeRes> resources
        = {{14, {}, 0, u"NAMED", 0x409, {1, 2, 3, 4, 5, 6}}, {14, {}, 9, {}, 0x409, {7, 8}}};
    const BuiltPe good = buildPe(resources);
    struct Case {
        const char* what;
        std::function<void(ByteVec&)> breakIt;
    } cases[] = {
        {"root count of 0xFFFF", [&](ByteVec& b) { put16(b, good.rsrcRoot + 14, 0xFFFF); }},
        {"type count of 0xFFFF", [&](ByteVec& b) { put16(b, good.typeDirs[0] + 14, 0xFFFF); }},
        {"type points at root", [&](ByteVec& b) { put32(b, good.rsrcRoot + 20, 0x80000000u); }},
        {"name points at its type",
         [&](ByteVec& b) {
             put32(b, good.typeDirs[0] + 20,
                   0x80000000u | static_cast<uint32_t>(good.typeDirs[0] - good.rsrcRoot));
         }},
        {"subdirectory outside the section", [&](ByteVec& b) { put32(b, good.rsrcRoot + 20, 0x8FFFFFF0u); }},
        {"data outside every section",
         [&](ByteVec& b) {
             put32(b, good.dataEntries[0], 0x7FFFFFF0u);
             put32(b, good.dataEntries[1], 0x7FFFFFF0u);
         }},
        {"data size past the section",
         [&](ByteVec& b) {
             put32(b, good.dataEntries[0] + 4, 0xFFFFFFF0u);
             put32(b, good.dataEntries[1] + 4, 0x10000u);
         }},
        {"name string past the end", [&](ByteVec& b) { put16(b, good.nameStrings[0], 0xFFFF); }},
        {"truncated in the section", [&](ByteVec& b) { b.resize(good.rsrcRoot + 24); }},
        {"section past the file", [&](ByteVec& b) { put32(b, good.sectionHeader + 20, 0xFFFFFF00u); }},
        {"no resource directory", [&](ByteVec& b) { put32(b, 0x40 + 24 + 96 + 16, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ByteVec bytes = good.bytes;
        c.breakIt(bytes);
        auto module = PeModule::fromBytes(bytes);
        if (!module)
            continue;
        const auto list = module->resourceNames(kGroup);
        EXPECT_LE(list.size(), 2u);
        EXPECT_FALSE(module->findResource(kGroup, ResourceId::fromName("NAMED"))
                     && module->findResource(kGroup, ResourceId::fromId(9)));
        (void)module->resourceCount(kGroup);
        (void)module->loadString(1);
    }
    // The file itself reads back whole.
    auto module = PeModule::fromBytes(good.bytes);
    ASSERT_TRUE(module);
    EXPECT_EQ(names(module->resourceNames(kGroup)), QStringList({"NAMED", "9"}));
}

// Look-ups go through an index of each name directory; it must answer as
// a walk of the stored entries would, whatever order they are stored in.
TEST(PeModule, FindsByIdAndNameAsTheDirectoryWalkDid)
{
    std::vector<PeRes> resources;
    for (uint16_t id = 1; id <= 3000; ++id)
        resources.push_back({14,
                             {},
                             static_cast<uint16_t>(id * 2),
                             {},
                             0x409,
                             {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)}});
    resources.push_back({14, {}, 0, u"Alpha", 0x409, {0xA1}});
    resources.push_back({14, {}, 0, u"BETA", 0x409, {0xB1}});
    const BuiltPe good = buildPe(resources);
    auto tag = [](const std::optional<Bytes>& b) { return b && b->size() >= 1 ? int((*b)[0]) : -1; };
    {
        auto module = PeModule::fromBytes(good.bytes);
        ASSERT_TRUE(module);
        for (uint16_t id = 1; id <= 3000; ++id) {
            const auto found
                = module->findResource(kGroup, ResourceId::fromId(static_cast<uint16_t>(id * 2)));
            ASSERT_TRUE(found) << id;
            EXPECT_EQ(le16(*found, 0), id);
            EXPECT_FALSE(module->findResource(kGroup, ResourceId::fromId(static_cast<uint16_t>(id * 2 + 1))));
        }
        EXPECT_EQ(tag(module->findResource(kGroup, ResourceId::fromName("alpha"))), 0xA1);
        EXPECT_EQ(tag(module->findResource(kGroup, ResourceId::fromName("Beta"))), 0xB1);
        EXPECT_FALSE(module->findResource(kGroup, ResourceId::fromName("GAMMA")));
        EXPECT_FALSE(module->findResource(kGroup, ResourceId::fromName("2")));  // a name, not id 2
    }
    // Stored out of order, and with an identifier and a name stored twice:
    // the first stored entry of each is the one found.
    ByteVec bytes = good.bytes;
    const size_t entries = good.typeDirs[0] + 16;  // named entries first: Alpha, BETA, then ids
    auto entry = [&](size_t i) { return entries + 8 * i; };
    ByteVec first(bytes.begin() + entry(2), bytes.begin() + entry(3));
    std::copy(bytes.begin() + entry(5), bytes.begin() + entry(6), bytes.begin() + entry(2));  // id 8 first
    std::copy(first.begin(), first.end(), bytes.begin() + entry(5));                          // id 2 later
    put32(bytes, entry(6), 8);                       // id 10's entry now says 8, after the real one
    put32(bytes, entry(1), get32(bytes, entry(0)));  // BETA's entry now says Alpha
    auto module = PeModule::fromBytes(bytes);
    ASSERT_TRUE(module);
    EXPECT_EQ(le16(*module->findResource(kGroup, ResourceId::fromId(8)), 0), 4);
    EXPECT_EQ(le16(*module->findResource(kGroup, ResourceId::fromId(2)), 0), 1);
    EXPECT_FALSE(module->findResource(kGroup, ResourceId::fromId(10)));
    EXPECT_EQ(le16(*module->findResource(kGroup, ResourceId::fromId(12)), 0), 6);
    EXPECT_EQ(tag(module->findResource(kGroup, ResourceId::fromName("ALPHA"))), 0xA1);
    EXPECT_FALSE(module->findResource(kGroup, ResourceId::fromName("BETA")));
}

TEST(PeModule, HostileStringTableAndVersionFailCleanly)
{
    ByteVec block = {3, 0, 'a', 0};  // claims three characters, holds one
    const ByteVec bytes = buildPe({{6, {}, 1, {}, 0x409, block}}).bytes;
    auto module = PeModule::fromBytes(bytes);
    ASSERT_TRUE(module);
    EXPECT_EQ(module->loadString(0), std::nullopt);
    EXPECT_EQ(module->loadString(5), std::nullopt);

    // A version block whose children claim more than the block holds.
    ByteVec v(64, 0);
    put16(v, 0, 64);
    put16(v, 2, 0);
    put16(v, 6, 'V');
    put16(v, 12, 0xFFFF);  // child wLength
    EXPECT_EQ(version::queryValue(v, "\\VarFileInfo\\Translation"), std::nullopt);
    ByteVec tiny = {4, 0};
    EXPECT_EQ(version::queryString(tiny, "\\StringFileInfo"), std::nullopt);
}

TEST(PeModule, StringTablesMustLieWithinTheFile)
{
    QFile file(QStringLiteral(LANG_PACK));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pack = file.readAll();
    auto bytesOf = [](const QByteArray& b) {
        return Bytes(reinterpret_cast<const uint8_t*>(b.constData()), static_cast<size_t>(b.size()));
    };
    auto whole = PeModule::fromBytes(bytesOf(pack));
    ASSERT_TRUE(whole);
    EXPECT_TRUE(whole->stringTablesReadable());
    // Cut in the resource directory, and in the string blocks.
    for (const qsizetype length : {0xA10, 3000, 6000, 8800}) {
        const QByteArray cut = pack.left(length);
        auto module = PeModule::fromBytes(bytesOf(cut));
        ASSERT_TRUE(module) << length;  // the headers are all there
        EXPECT_FALSE(module->stringTablesReadable()) << length;
    }
    // A module without string tables has none to give.
    EXPECT_FALSE(PeModule::fromBytes(buildPe({}).bytes)->stringTablesReadable());
}

TEST(PeModule, TheProgramsOwnFileOpensItsResourceImage)
{
    const QString self = QFileInfo("/proc/self/exe").symLinkTarget();
    EXPECT_FALSE(PeModule::open(self));  // an ELF file
    PeModule::setProgramResourceImage(QStringLiteral(RESOURCE_IMAGE));
    auto module = PeModule::open(self);
    ASSERT_TRUE(module);
    EXPECT_EQ(names(module->resourceNames(kGroup)), QStringList({"MAINICON"}));
    auto v = module->versionResource();
    ASSERT_TRUE(v);
    EXPECT_EQ(version::queryString(*v, "\\StringFileInfo\\040904E4\\FileVersion"), QString("5.1.0.2"));
    // The icon loader sees it too.
    EXPECT_EQ(iconCount(self), 1);
    EXPECT_EQ(extractIcons(self, kLargeIconSize).size(), 1u);
    PeModule::setProgramResourceImage(QString());
    EXPECT_EQ(iconCount(self), 0);
    EXPECT_FALSE(PeModule::open(self));
}
