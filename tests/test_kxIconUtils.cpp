#include "kxCommon/kxIconUtils.h"

#include "platform/ClassesRoot.h"
#include "platform/Exceptions.h"

#include "CostCorpus.h"
#include "HangGuard.h"
#include "PeBuilder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "RunTool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fixture;

using fixture::run;

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);

ByteVec readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray b = f.readAll();
    return ByteVec(b.begin(), b.end());
}

void writeAll(const QString& path, const ByteVec& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

struct Entry {
    int width, height, colours, reserved, planes, bits;
    uint32_t size, offset;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Entry& e)
{
    return os << "{" << e.width << "," << e.height << "," << e.colours << "," << e.reserved << "," << e.planes
              << "," << e.bits << "," << e.size << "," << e.offset << "}";
}

std::vector<Entry> entries(const ByteVec& ico)
{
    std::vector<Entry> out;
    const int n = get16(ico, 4);
    for (int i = 0; i < n; ++i) {
        const size_t e = 6 + 16 * static_cast<size_t>(i);
        out.push_back({ico.at(e), ico.at(e + 1), ico.at(e + 2), ico.at(e + 3), get16(ico, e + 4),
                       get16(ico, e + 6), get32(ico, e + 8), get32(ico, e + 12)});
    }
    return out;
}

ByteVec imageAt(const ByteVec& ico, const Entry& e)
{
    return ByteVec(ico.begin() + e.offset, ico.begin() + e.offset + e.size);
}

bool isPng(const ByteVec& image) { return image.size() > 8 && image[0] == 0x89 && image[1] == 'P'; }

class IconGroups : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    // Saves group `index` of `file`; returns the written file's bytes.
    ByteVec save(const QString& file, int index, int expectedCount = -1)
    {
        int count = -1;
        QString error;
        const QString dest = path("out.ico");
        QFile::remove(dest);
        EXPECT_TRUE(ExtractIconGroupToFile(file, dest, index, count, error)) << error.toStdString();
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        if (expectedCount >= 0) {
            EXPECT_EQ(count, expectedCount);
        }
        return readAll(dest);
    }
};

class IconGroupsOfModule : public IconGroups, public ::testing::WithParamInterface<const char*> {};

}  // namespace

// What we write is what icoutils extracts, but for the image-size field of
// DIB headers, which we clear; and icotool reads every file we write.
TEST_P(IconGroupsOfModule, MatchesWrestoolAndReadsBackWithIcotool)
{
    const QString module = kFixtures + "/" + GetParam();
    const struct {
        int index;
        const char* name;
        int count;
    } groups[] = {{0, "MAINICON", 2}, {1, "1", 5}, {2, "5", 3}};
    for (const auto& g : groups) {
        SCOPED_TRACE(g.name);
        const ByteVec ours = save(module, g.index, g.count);
        ASSERT_GE(ours.size(), 6u);

        int code = 0;
        const QString theirsPath = path("theirs.ico");
        run("wrestool", {"-x", "-t14", QString("-n%1").arg(g.name), module, "-o", theirsPath}, &code);
        ASSERT_EQ(code, 0);
        const ByteVec theirs = readAll(theirsPath);
        ASSERT_EQ(get16(theirs, 4), get16(ours, 4));
        const auto ourEntries = entries(ours);
        EXPECT_EQ(ourEntries, entries(theirs));
        for (const Entry& e : ourEntries) {
            ByteVec a = imageAt(ours, e), b = imageAt(theirs, e);
            if (!isPng(b)) {
                EXPECT_EQ(get32(a, 20), 0u);
                EXPECT_NE(get32(b, 20), 0u);  // the fixture keeps a value there
                std::fill(b.begin() + 20, b.begin() + 24, 0);
            }
            EXPECT_EQ(a, b);
        }
        size_t expectedSize = 6;
        for (const Entry& e : ourEntries)
            expectedSize += 16 + e.size;
        EXPECT_EQ(ours.size(), expectedSize);

        const QString listing = run("icotool", {"-l", path("out.ico")}, &code);
        EXPECT_EQ(code, 0) << listing.toStdString();
        EXPECT_EQ(listing.count("--icon"), g.count) << listing.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Arch, IconGroupsOfModule, ::testing::Values("groups32.dll", "groups64.dll"));

TEST_F(IconGroups, DirectoryFollowsTheImages)
{
    // The worked example: 16 x 16 at 4 bits and 32 x 32 at 8 bits.
    const ByteVec mixed = save(kFixtures + "/groups32.dll", 0, 2);
    const auto e = entries(mixed);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0], (Entry {16, 16, 16, 0, 1, 4, e[0].size, 38}));
    EXPECT_EQ(e[1], (Entry {32, 32, 0, 0, 1, 8, e[1].size, 38 + e[0].size}));

    // A 256-pixel PNG image: width and height 0, 32 bits, bytes unchanged.
    const ByteVec png = save(kFixtures + "/groups64.dll", 2, 3);
    const auto pe = entries(png);
    EXPECT_EQ(pe[0], (Entry {0, 0, 0, 0, 1, 32, pe[0].size, 54}));
    const ByteVec source = readAll(kFixtures + "/icons/png256.ico");
    const auto sourceEntries = entries(source);
    EXPECT_EQ(imageAt(png, pe[0]), imageAt(source, sourceEntries[0]));

    // Group entries that disagree with their images are not believed, and a
    // group of more than 16 images is written whole.
    const IcoImage image = dibImage(24, 24, 8, 5);
    ByteVec group = groupResource({image}, {1});
    group[6] = 99;               // width
    put32(group, 6 + 8, 12345);  // byte count
    const ByteVec lying = buildPe({{3, {}, 1, {}, 0x409, image.data}, {14, {}, 7, {}, 0x409, group}}).bytes;
    writeAll(path("lying.dll"), lying);
    const auto le = entries(save(path("lying.dll"), 0, 1));
    EXPECT_EQ(le[0], (Entry {24, 24, 0, 0, 1, 8, static_cast<uint32_t>(image.data.size()), 22}));

    const ByteVec many = save(kFixtures + "/system/shell32.dll", 2, 20);
    EXPECT_EQ(entries(many).size(), 20u);

    // Sizes above 255 that are not 256: 0, not their low 8 bits.
    const IcoImage wide = dibImage(313, 194, 24, 3);
    const IcoImage tall = pngImage(194, 313, 4);
    const ByteVec big = buildPe({{3, {}, 1, {}, 0x409, wide.data},
                                 {3, {}, 2, {}, 0x409, tall.data},
                                 {14, {}, 7, {}, 0x409, groupResource({wide, tall}, {1, 2})}})
                            .bytes;
    writeAll(path("big.dll"), big);
    const auto be = entries(save(path("big.dll"), 0, 2));
    ASSERT_EQ(be.size(), 2u);
    EXPECT_EQ(std::make_pair(be[0].width, be[0].height), std::make_pair(0, 194));
    EXPECT_EQ(std::make_pair(be[1].width, be[1].height), std::make_pair(194, 0));
}

TEST_F(IconGroups, IndexesNameGroupsByPositionOrIdentifier)
{
    const QString module = kFixtures + "/groups32.dll";
    EXPECT_EQ(save(module, -5, 3), save(module, 2));  // identifier 5
    EXPECT_EQ(save(module, -7, 2), save(module, 0));  // no identifier 7: position 0
    EXPECT_EQ(save(module, -1, 5), save(module, 1));
    int count = 0;
    QString error;
    EXPECT_THROW(ExtractIconGroupToFile(module, path("x.ico"), 3, count, error), platform::ListIndexError);
    EXPECT_THROW(WriteIconGroupFile(module, path("x.ico"), "NOPE", count, error), platform::ConvertError);
    EXPECT_FALSE(WriteIconGroupFile(module, path("x.ico"), "77", count, error));
    EXPECT_FALSE(QFile::exists(path("x.ico")));
}

TEST_F(IconGroups, CountsWithoutWriting)
{
    int count = -1;
    QString error;
    EXPECT_TRUE(ExtractIconGroupToFile(kFixtures + "/groups32.dll", "", 1, count, error));
    EXPECT_EQ(count, 5);
    EXPECT_TRUE(ExtractIconGroupToFile(kFixtures + "/icons/depths.ico", "", 0, count, error));
    EXPECT_EQ(count, 5);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    writeAll(path("short.ico"), {0, 0, 1});
    EXPECT_THROW(ExtractIconGroupToFile(path("short.ico"), "", 0, count, error), platform::InOutError);
    EXPECT_THROW(ExtractIconGroupToFile(path("missing.ico"), "", 0, count, error), platform::InOutError);
}

TEST_F(IconGroups, CopiesIcoFilesWhole)
{
    const QString source = kFixtures + "/icons/png256.ico";
    int count = -1;
    QString error;
    EXPECT_TRUE(ExtractIconGroupToFile(source, path("copy.ico"), 0, count, error));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(readAll(path("copy.ico")), readAll(source));

    // Never over the source itself.
    QFile::copy(source, path("self.ICO"));
    EXPECT_FALSE(ExtractIconGroupToFile(path("self.ICO"), path("self.ICO"), 0, count, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readAll(path("self.ICO")), readAll(source));
}

TEST_F(IconGroups, OnlyValidIcoFilesAreCopied)
{
    const ByteVec good = icoFile({dibImage(16, 16, 4, 1), dibImage(32, 32, 8, 2)});
    const auto broken = [&](auto change) {
        ByteVec b = good;
        change(b);
        return b;
    };
    struct Case {
        const char* what;
        ByteVec file;
        int index;
        const char* says;  // nullptr: copied
    };
    const Case cases[] = {
        {"a good file", good, 0, nullptr},
        {"an empty file", {}, 0, "not a valid icon file"},
        {"one byte", {0}, 0, "not a valid icon file"},
        {"a cursor", broken([](ByteVec& b) { put16(b, 2, 2); }), 0, "not a valid icon file"},
        {"no images", broken([](ByteVec& b) { put16(b, 4, 0); }), 0, "not a valid icon file"},
        {"a count past the directory", broken([](ByteVec& b) { put16(b, 4, 900); }), 0,
         "not a valid icon file"},
        {"an image past the end", broken([](ByteVec& b) { put32(b, 6 + 16 + 8, 100000); }), 0,
         "not a valid icon file"},
        {"an offset past the end", broken([](ByteVec& b) { put32(b, 6 + 12, 0xFFFFFFF0u); }), 0,
         "not a valid icon file"},
        {"cut short", ByteVec(good.begin(), good.end() - 1), 0, "not a valid icon file"},
        {"an icon it does not hold", good, 5, "there is no icon 6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeAll(path("in.ico"), c.file);
        QFile::remove(path("out.ico"));
        int count = -1;
        QString error;
        const bool copied = ExtractIconGroupToFile(path("in.ico"), path("out.ico"), c.index, count, error);
        EXPECT_EQ(copied, c.says == nullptr);
        EXPECT_EQ(QFile::exists(path("out.ico")), c.says == nullptr);
        if (c.says)
            EXPECT_TRUE(error.contains(QLatin1String(c.says))) << error.toStdString();
        else
            EXPECT_EQ(readAll(path("out.ico")), c.file);
    }
}

TEST_F(IconGroups, IcoFilesLargerThanAnExportMayWriteAreRefused)
{
    // Sparse: 3 GB long, a few kilobytes stored, and valid by its directory.
    const ByteVec head = icoClaimingHugeImage(3'000'000'000u);
    writeSparseFile(path("huge.ico").toStdString(), head, head.size() + uint64_t {3'000'000'000u});
    int count = -1;
    QString error;
    EXPECT_FALSE(ExtractIconGroupToFile(path("huge.ico"), path("out.ico"), 0, count, error));
    EXPECT_FALSE(QFile::exists(path("out.ico")));
    EXPECT_TRUE(error.contains(QLatin1String("too large"))) << error.toStdString();
}

TEST_F(IconGroups, ReadsEveryPeFileWithIconsAsAModule)
{
    // Extension case does not matter, and PE files of other types with
    // icons of their own give their own groups, not a file type's icon.
    for (const char* name : {"UPPER.DLL", "applet.cpl", "saver.scr", "library.icl"}) {
        SCOPED_TRACE(name);
        QFile::copy(kFixtures + "/groups32.dll", path(name));
        EXPECT_EQ(save(path(name), 1, 5), save(kFixtures + "/groups32.dll", 1));
    }
}

TEST_F(IconGroups, DefaultIconsOfFileTypes)
{
    auto root = std::make_shared<platform::MapClassesRoot>();
    root->set(".sys\\DefaultIcon", "%SystemRoot%/shell32.dll,-152");
    root->set(".txt", "txtfile");  // a ProgID without DefaultIcon
    root->set(".bat", "batfile");
    root->set("batfile\\DefaultIcon", "%1");
    root->set(".doc\\DefaultIcon", "\"" + kFixtures + "/system/shell32.dll\"");
    root->set(".xls\\DefaultIcon", "\"" + kFixtures + "/system/shell32.dll\",-200");
    platform::setClassesRoot(root);
    qputenv("SystemRoot", (kFixtures + "/system").toUtf8());

    EXPECT_EQ(GetDefaultIconLocation(".sys"), kFixtures + "/system/shell32.dll,-152");
    EXPECT_EQ(GetDefaultIconLocation(".txt"), "");
    EXPECT_EQ(GetDefaultIconLocation(".bat"), "");
    EXPECT_EQ(GetDefaultIconLocation(".doc"), kFixtures + "/system/shell32.dll");
    EXPECT_EQ(GetDefaultIconLocation(".xls"), kFixtures + "/system/shell32.dll,-200");
    EXPECT_EQ(GetDefaultIconLocation(".none"), "");

    writeAll(path("a.sys"), {1, 2, 3});
    writeAll(path("a.doc"), {1, 2, 3});
    writeAll(path("a.xls"), {1, 2, 3});
    writeAll(path("a.txt"), {1, 2, 3});
    const QString shell = kFixtures + "/system/shell32.dll";
    EXPECT_EQ(save(path("a.sys"), 0, 5), save(shell, 1));   // group 152
    EXPECT_EQ(save(path("a.doc"), 2, 20), save(shell, 2));  // the caller's index
    EXPECT_EQ(save(path("a.xls"), 0, 20), save(shell, 2));  // group 200
    int count = -1;
    QString error;
    EXPECT_FALSE(ExtractIconGroupToFile(path("a.txt"), path("t.ico"), 0, count, error));
    EXPECT_EQ(count, 0);
    platform::setClassesRoot(nullptr);
    qunsetenv("SystemRoot");
}

TEST_F(IconGroups, BrokenGroupsAndImages)
{
    const IcoImage a = dibImage(16, 16, 4, 1), b = dibImage(32, 32, 32, 2);
    ByteVec claimsTen = groupResource({a, b}, {1, 2});
    put16(claimsTen, 4, 10);  // more images than the resource holds
    ByteVec withMissing = groupResource({a, b, b}, {1, 9, 2});
    ByteVec shortImage = groupResource({a, b}, {1, 3});
    const struct {
        const char* what;
        ByteVec group;
        int count;
    } cases[] = {
        {"count past the resource", claimsTen, 2},
        {"missing image", withMissing, 2},
        {"image shorter than a header", shortImage, 1},
        {"no images", groupResource({}, {}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ByteVec pe = buildPe({{3, {}, 1, {}, 0, a.data},
                                    {3, {}, 2, {}, 0, b.data},
                                    {3, {}, 3, {}, 0, ByteVec(30, 1)},
                                    {14, {}, 1, {}, 0, c.group}})
                               .bytes;
        writeAll(path("broken.dll"), pe);
        const ByteVec ico = save(path("broken.dll"), 0, c.count);
        ASSERT_GE(ico.size(), 6u);
        EXPECT_EQ(get16(ico, 0), 0);
        EXPECT_EQ(get16(ico, 2), 1);
        EXPECT_EQ(get16(ico, 4), c.count);
        size_t expected = 6;
        for (const Entry& e : entries(ico))
            expected += 16 + e.size;
        EXPECT_EQ(ico.size(), expected);
    }

    // A group resource too short for its header says so.
    writeAll(path("tiny.dll"), buildPe({{14, {}, 1, {}, 0, {0, 0, 1}}}).bytes);
    int count = -1;
    QString error;
    EXPECT_TRUE(ExtractIconGroupToFile(path("tiny.dll"), path("t.ico"), 0, count, error));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(error.toStdString(),
              ("Unable to read the icon 1 from '" + path("tiny.dll") + "'.").toStdString());
    EXPECT_FALSE(QFile::exists(path("t.ico")));
}

TEST_F(IconGroups, FailedWritesLeaveNothingBehind)
{
    int count = -1;
    QString error;
    const QString module = kFixtures + "/groups32.dll";
    for (const QString& dest : {path("no/such/folder/x.ico"), dir.path()}) {
        SCOPED_TRACE(dest.toStdString());
        error.clear();
        EXPECT_TRUE(ExtractIconGroupToFile(module, dest, 0, count, error));
        EXPECT_EQ(count, 0);
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // An old file stays as it was when the new one cannot be made, and a
    // module is never written over itself.
    QFile::copy(module, path("self.dll"));
    error.clear();
    EXPECT_TRUE(ExtractIconGroupToFile(path("self.dll"), path("self.dll"), 0, count, error));
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readAll(path("self.dll")), readAll(module));
}

TEST_F(IconGroups, NotAModule)
{
    int count = -1;
    QString error;
    writeAll(path("fake.dll"), ByteVec(512, 'x'));
    EXPECT_FALSE(ExtractIconGroupToFile(path("fake.dll"), path("o.ico"), 0, count, error));
    EXPECT_FALSE(ExtractIconGroupToFile(kFixtures + "/noicons.dll", path("o.ico"), 0, count, error));
    EXPECT_FALSE(ExtractIconGroupToFile(path("missing.exe"), "", 0, count, error));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(path("o.ico")));
}

// A group that names one image twice, directly or through two identifiers
// whose data is the same bytes, could make a file of any size from a small
// module: it is refused with a reason, and no file is written.
TEST_F(IconGroups, GroupsThatNameAnImageTwiceAreRefused)
{
    const IcoImage a = dibImage(32, 32, 32, 1), b = dibImage(16, 16, 4, 2);
    BuiltPe twice = buildPe({{3, {}, 1, {}, 0, a.data}, {14, {}, 1, {}, 0, groupResource({a, a}, {1, 1})}});
    BuiltPe aliased = buildPe({{3, {}, 1, {}, 0, a.data},
                               {3, {}, 2, {}, 0, b.data},
                               {14, {}, 1, {}, 0, groupResource({a, b}, {1, 2})}});
    // Image 2's data entry points into image 1's bytes.
    put32(aliased.bytes, aliased.dataEntries[1], get32(aliased.bytes, aliased.dataEntries[0]) + 40);
    for (const auto& [what, pe] : {std::pair {"same identifier", twice}, {"overlapping data", aliased}}) {
        SCOPED_TRACE(what);
        writeAll(path("twice.dll"), pe.bytes);
        int count = -1;
        QString error;
        EXPECT_TRUE(ExtractIconGroupToFile(path("twice.dll"), path("t.ico"), 0, count, error));
        EXPECT_EQ(count, 0);
        EXPECT_EQ(error.toStdString(),
                  ("The icon 1 of '" + path("twice.dll")
                   + "' names the same image more than once; it is not saved.")
                      .toStdString());
        EXPECT_FALSE(QFile::exists(path("t.ico")));
    }
}

// Every group of every fixture module, the system ones included, is still
// written whole: no real group shares image bytes.
TEST_F(IconGroups, EveryGroupOfTheFixtureModulesIsWritten)
{
    for (const char* module : {"groups32.dll", "groups64.dll", "loader.dll", "system/shell32.dll"}) {
        const QString file = kFixtures + "/" + module;
        int groups = 0;
        for (int index = 0;; ++index) {
            SCOPED_TRACE(std::string(module) + " " + std::to_string(index));
            int count = -1;
            QString error;
            try {
                ASSERT_TRUE(ExtractIconGroupToFile(file, path("g.ico"), index, count, error));
            } catch (const platform::ListIndexError&) {
                break;
            }
            EXPECT_GT(count, 0);
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_EQ(get16(readAll(path("g.ico")), 4), count);
            ++groups;
        }
        EXPECT_GT(groups, 0) << module;
    }
}

// A FIFO named like an icon file, put there after the callers' checks, is
// refused at once when counted or copied, never waited on. Should a call
// block anyway, a writer that comes and goes frees it and the test fails.
TEST_F(IconGroups, AFifoIsNoIconFile)
{
    const QString fifo = path("pipe.ico");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto unblocked = [&](auto call) {
        auto done = std::async(std::launch::async, call);
        if (done.wait_for(std::chrono::milliseconds(kHangGuard)) == std::future_status::ready)
            return done.get();
        ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK));
        done.wait();
        ADD_FAILURE() << "the call waited for a writer";
        return QString();
    };

    const QString counted = unblocked([&] {
        int count = -1;
        QString error;
        try {
            ExtractIconGroupToFile(fifo, "", 0, count, error);
        } catch (const platform::InOutError& e) {
            return e.message();
        }
        return QStringLiteral("no error");
    });
    EXPECT_TRUE(counted.contains(QLatin1String("not a regular file"))) << counted.toStdString();

    const QString copied = unblocked([&] {
        int count = -1;
        QString error;
        EXPECT_FALSE(ExtractIconGroupToFile(fifo, path("out.ico"), 0, count, error));
        return error;
    });
    EXPECT_TRUE(copied.contains(QLatin1String("not a regular file"))) << copied.toStdString();
    EXPECT_FALSE(QFile::exists(path("out.ico")));
}
