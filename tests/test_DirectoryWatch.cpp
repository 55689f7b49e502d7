#include "platform/DirectoryWatch.h"

#include "support/HangGuard.h"
#include "support/InotifyUse.h"
#include "support/TestApplication.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

#include <gtest/gtest.h>

namespace {

using Event = platform::DirectoryWatches::Event;

// Lets the event loop hand out what the kernel queued: until Log holds the
// Expected number of events, and then a while longer, so that one too many
// would show.
void pump(const QStringList& log, qsizetype expected)
{
    const auto run = [](const std::function<bool()>& more) {
        do {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(2);
        } while (more());
    };
    QElapsedTimer waited;
    waited.start();
    run([&] { return log.size() < expected && waited.elapsed() < kHangGuard; });
    QElapsedTimer after;
    after.start();
    run([&] { return after.elapsed() < 150; });
}

class DirectoryWatchesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApplication();
        ASSERT_TRUE(dir.isValid());
        for (const char* folder : {"a/old", "b"})
            ASSERT_TRUE(QDir().mkpath(at(folder)));
    }
    QString at(const QString& rel) const { return dir.path() + "/" + rel; }
    int watch(const QString& rel, QStringList& log, const QString& name)
    {
        return watches.add(QFile::encodeName(at(rel)).toStdString(), [&log, name](Event e) {
            log << name + (e == Event::Gone ? ":gone" : ":changed");
        });
    }

    QTemporaryDir dir;
    platform::DirectoryWatches watches;
};

TEST_F(DirectoryWatchesTest, SubFolderChangesReachTheirOwnWatchOnly)
{
    const int instancesBefore = inotify_use::instances();
    QStringList log;
    ASSERT_NE(watch("a", log, "a"), 0);
    ASSERT_NE(watch("b", log, "b"), 0);
    EXPECT_EQ(inotify_use::instances() - instancesBefore, 1);

    const struct {
        const char* what;
        std::function<bool()> change;
        QStringList expected;
    } steps[] = {
        {"create", [&] { return QDir().mkdir(at("a/new")); }, {"a:changed"}},
        {"rename", [&] { return QDir().rename(at("a/new"), at("a/other")); }, {"a:changed"}},
        {"move across",
         [&] { return QDir().rename(at("a/other"), at("b/other")); },
         {"a:changed", "b:changed"}},
        {"remove", [&] { return QDir().rmdir(at("b/other")); }, {"b:changed"}},
        {"a file",
         [&] {
             QFile f(at("a/file"));
             return f.open(QIODevice::WriteOnly) && f.remove();
         },
         {}},
        {"two levels down", [&] { return QDir().mkdir(at("a/old/deep")); }, {}},
        {"a link to a folder", [&] { return QFile::link(at("b"), at("a/tob")); }, {"a:changed"}},
        {"a link to a file",
         [&] {
             QFile f(at("file"));
             return f.open(QIODevice::WriteOnly) && QFile::link(at("file"), at("a/tofile"));
         },
         {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        log.clear();
        ASSERT_TRUE(step.change());
        pump(log, step.expected.size());
        log.sort();
        EXPECT_EQ(log, step.expected);
    }
}

TEST_F(DirectoryWatchesTest, TheSameFolderTwiceSharesOneWatchUntilTheLastGoes)
{
    ASSERT_TRUE(QFile::link(at("a"), at("link")));
    const int before = inotify_use::watches();
    QStringList log;
    const int first = watch("a", log, "first");
    const int second = watch("link", log, "second");
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);
    EXPECT_EQ(inotify_use::watches() - before, 1);
    ASSERT_TRUE(QDir().mkdir(at("a/x")));
    pump(log, 2);
    log.sort();
    EXPECT_EQ(log, QStringList({"first:changed", "second:changed"}));

    // A removed watch hears nothing more, not even what was queued.
    log.clear();
    ASSERT_TRUE(QDir().mkdir(at("a/y")));
    watches.remove(first);
    pump(log, 1);
    EXPECT_EQ(log, QStringList {"second:changed"});
    EXPECT_EQ(inotify_use::watches() - before, 1);
    log.clear();
    ASSERT_TRUE(QDir().mkdir(at("a/z")));
    watches.remove(second);
    EXPECT_EQ(inotify_use::watches(), before);  // released at once
    pump(log, 0);
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(DirectoryWatchesTest, AFolderThatGoesEndsItsWatch)
{
    const int before = inotify_use::watches();
    QStringList log;
    const int moved = watch("a/old", log, "moved");
    ASSERT_NE(watch("b", log, "removed"), 0);
    ASSERT_NE(moved, 0);
    ASSERT_TRUE(QDir().rename(at("a/old"), at("a/renamed")));
    ASSERT_TRUE(QDir().rmdir(at("b")));
    pump(log, 2);
    log.sort();
    EXPECT_EQ(log, QStringList({"moved:gone", "removed:gone"}));
    EXPECT_EQ(inotify_use::watches(), before);
    // Under its new name the folder is no longer followed.
    log.clear();
    ASSERT_TRUE(QDir().mkdir(at("a/renamed/x")));
    pump(log, 0);
    EXPECT_TRUE(log.isEmpty());
    watches.remove(moved);  // after the end, harmless

    QFile file(at("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(watch("file", log, "file"), 0);
    EXPECT_EQ(watch("nosuchfolder", log, "none"), 0);
}

}  // namespace
