// The folder search for files with icons.
#include "kxCommon/kxFileUtils.h"

#include "PeBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

using namespace fixture;

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);
const QString kMasks = QStringLiteral("*.dll;*.exe;*.ocx");

class CountingStrings : public TStringListStrings {
public:
    using TStringListStrings::TStringListStrings;
    void BeginUpdate() override
    {
        ++depth;
        ++begins;
    }
    void EndUpdate() override { --depth; }
    int depth = 0;
    int begins = 0;
};

class FolderSearch : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QStringList list;
    CountingStrings strings {list};

    QString at(const QString& rel) const { return dir.filePath(rel); }
    void copy(const QString& fixture, const QString& rel)
    {
        QDir().mkpath(QFileInfo(at(rel)).path());
        ASSERT_TRUE(QFile::copy(kFixtures + "/" + fixture, at(rel)));
    }
    void write(const QString& rel, const ByteVec& bytes)
    {
        QDir().mkpath(QFileInfo(at(rel)).path());
        writeFile(at(rel).toStdString(), bytes);
    }

    void SetUp() override
    {
        const IcoImage image = dibImage(16, 16, 4, 1);
        const ByteVec oneGroup = buildPe({{3, {}, 1, {}, 0x409, image.data},
                                          {14, {}, 1, {}, 0x409, groupResource({image}, {1})}})
                                     .bytes;
        copy("groups32.dll", "a.dll");  // 3 groups
        copy("noicons.dll", "b.dll");   // none
        write("c.exe", oneGroup);       // 1 group
        write("fake.dll", ByteVec(300, 'x'));
        write("readme.txt", {'h', 'i'});
        copy("groups64.dll", "Zed.OCX");
        copy("groups32.dll", "sub/d.dll");
        copy("groups32.dll", "sub/.hidden.dll");
        write("sub/deeper/e.exe", oneGroup);
        copy("groups32.dll", ".hiddendir/f.dll");
        ASSERT_EQ(symlink(".", at("loop").toUtf8().constData()), 0);
        ASSERT_EQ(mkfifo(at("pipe.dll").toUtf8().constData(), 0600), 0);  // must not stall the search
        ASSERT_EQ(symlink("..", at("sub/up").toUtf8().constData()), 0);
        OnFileFound = nullptr;
    }
    void TearDown() override { OnFileFound = nullptr; }

    QStringList search(int minIcons, bool recurse, bool fullPaths = false, const QString& masks = kMasks)
    {
        list.clear();
        EXPECT_EQ(FindIconFiles(dir.path(), dir.path(), masks, minIcons, recurse, fullPaths, strings),
                  srDone);
        EXPECT_EQ(strings.depth, 0);
        return list;
    }
};

}  // namespace

TEST_F(FolderSearch, FindsFilesByMaskAndIconCount)
{
    EXPECT_EQ(search(1, false), QStringList({"a.dll", "c.exe", "Zed.OCX"}));
    EXPECT_EQ(search(0, false), QStringList({"a.dll", "b.dll", "fake.dll", "pipe.dll", "c.exe", "Zed.OCX"}));
    EXPECT_EQ(search(-5, false), search(0, false));
    EXPECT_EQ(search(1, true),
              QStringList({"a.dll", "c.exe", "Zed.OCX", "sub/.hidden.dll", "sub/d.dll", "sub/deeper/e.exe"}));
    EXPECT_EQ(search(3, true), QStringList({"a.dll", "Zed.OCX", "sub/.hidden.dll", "sub/d.dll"}));
    EXPECT_EQ(search(4, true), QStringList());
    EXPECT_EQ(search(3, true, true),
              QStringList({at("a.dll"), at("Zed.OCX"), at("sub/.hidden.dll"), at("sub/d.dll")}));
}

TEST_F(FolderSearch, MasksInTheirOrderAndAsWritten)
{
    // A file matching two masks comes twice; a blank after ";" is dropped,
    // one before it stays part of the mask.
    EXPECT_EQ(search(1, false, false, "a*;*.dll"), QStringList({"a.dll", "a.dll"}));
    EXPECT_EQ(search(1, false, false, "*.exe; *.dll"), QStringList({"c.exe", "a.dll"}));
    EXPECT_EQ(search(1, false, false, "*.exe ;*.dll"), QStringList({"a.dll"}));
    EXPECT_EQ(search(1, false, false, ""), QStringList());
    EXPECT_EQ(search(1, false, false, "?.DLL"), QStringList({"a.dll"}));
}

TEST_F(FolderSearch, TopLevelClearsDeeperLevelsAppend)
{
    list = {"old"};
    EXPECT_EQ(FindIconFiles(dir.path() + "/", dir.path(), "*.exe", 1, false, false, strings), srDone);
    EXPECT_EQ(list, QStringList({"c.exe"}));
    list = {"old"};
    EXPECT_EQ(FindIconFiles(dir.path(), at("sub/deeper"), "*.exe", 1, false, false, strings), srDone);
    EXPECT_EQ(list, QStringList({"old", "sub/deeper/e.exe"}));
    list = {"old"};
    EXPECT_EQ(FindIconFiles(at("missing"), at("missing"), kMasks, 1, true, false, strings), srDone);
    EXPECT_EQ(list, QStringList({"old"}));
    EXPECT_EQ(strings.begins, 2);
}

TEST_F(FolderSearch, HookSeesEveryEntryAndCanCancel)
{
    std::vector<int> counts;
    OnFileFound = [&](QObject* sender, int32_t index, int32_t count, const QString& name, const QString& info,
                      bool& cancel) {
        EXPECT_EQ(sender, nullptr);
        EXPECT_EQ(index, -1);
        EXPECT_TRUE(info.isEmpty());
        EXPECT_EQ(name, list.back());
        counts.push_back(count);
        cancel = count == 3;
    };
    EXPECT_EQ(FindIconFiles(dir.path(), dir.path(), "*.dll", 0, true, false, strings), srCancelled);
    EXPECT_EQ(list, QStringList({"a.dll", "b.dll", "fake.dll"}));
    EXPECT_EQ(counts, (std::vector<int> {1, 2, 3}));

    // Cancelled two levels down: every level stops.
    counts.clear();
    OnFileFound = [&](QObject*, int32_t, int32_t count, const QString& name, const QString&, bool& cancel) {
        counts.push_back(count);
        cancel = name == "sub/d.dll";
    };
    EXPECT_EQ(FindIconFiles(dir.path(), dir.path(), kMasks, 1, true, false, strings), srCancelled);
    EXPECT_EQ(list.back(), "sub/d.dll");
    EXPECT_EQ(strings.depth, 0);

    // A hook that throws still leaves the list's updates balanced.
    OnFileFound = [](QObject*, int32_t, int32_t, const QString&, const QString&, bool&) {
        throw std::runtime_error("hook");
    };
    EXPECT_THROW(FindIconFiles(dir.path(), dir.path(), kMasks, 1, true, false, strings), std::runtime_error);
    EXPECT_EQ(strings.depth, 0);
}

TEST_F(FolderSearch, TickRunsBetweenEntriesEvenWithoutMatches)
{
    // No file holds 100 icons: the hook never runs, the tick still does,
    // before every name of every folder searched, and can stop the walk.
    int ticks = 0;
    auto tick = [&](bool&) { ++ticks; };
    EXPECT_EQ(FindIconFiles(dir.path(), dir.path(), "*.txt", 100, false, false, strings, tick), srDone);
    const int namesTop
        = static_cast<int>(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System).size());
    EXPECT_EQ(ticks, namesTop);
    int left = 5;
    auto stop = [&](bool& cancel) { cancel = --left == 0; };
    EXPECT_EQ(FindIconFiles(dir.path(), dir.path(), kMasks, 100, true, false, strings, stop), srCancelled);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(strings.depth, 0);
}

TEST_F(FolderSearch, NamesThatAreNotUtf8AreCountedNotLost)
{
    // Such a name reads back as other bytes: nothing can open it, so it is
    // left out and counted, file or folder, whatever MinIcons is.
    const QByteArray badFolder = QFile::encodeName(dir.path()) + "/caf\351";
    const QByteArray badFiles[] = {QFile::encodeName(dir.path()) + "/bad\377.exe", badFolder + "/g.exe"};
    const struct Cleanup {  // the toolkit cannot remove what it cannot name
        const QByteArray& folder;
        const QByteArray (&files)[2];
        ~Cleanup()
        {
            for (const QByteArray& file : files)
                ::unlink(file.constData());
            ::rmdir(folder.constData());
        }
    } cleanup {badFolder, badFiles};
    ASSERT_EQ(::mkdir(badFolder.constData(), 0700), 0);
    for (const QByteArray& file : badFiles) {
        FILE* f = fopen(file.constData(), "wb");
        ASSERT_NE(f, nullptr);
        fclose(f);
    }
    for (const int minIcons : {1, 0}) {
        SCOPED_TRACE(minIcons);
        int32_t skipped = 0;
        list.clear();
        EXPECT_EQ(
            FindIconFiles(dir.path(), dir.path(), "*.exe", minIcons, true, false, strings, {}, &skipped),
            srDone);
        EXPECT_EQ(list, (QStringList {"c.exe", "sub/deeper/e.exe"}));
        EXPECT_EQ(skipped, 2);  // the file, and the folder not entered
    }
}

TEST(FileMaskMatch, Cases)
{
    const struct {
        const char* name;
        const char* mask;
        bool match;
    } cases[] = {
        {"shell32.dll", "*.dll", true},
        {"SHELL32.DLL", "*.dll", true},
        {"a.dll", "*.exe", false},
        {"a.dll", "?.dll", true},
        {"ab.dll", "?.dll", false},
        {"readme", "*.*", true},
        {"a.b.c", "*.c", true},
        {"a.dll.bak", "*.dll", false},
        {"x", "*", true},
        {"", "*", true},
        {"abc", "a*c*", true},
        {"abc", "a*d", false},
        {"Ünïcode.DLL", "ünï*.dll", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileMaskMatch(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.match)
            << c.name << " ~ " << c.mask;
}
