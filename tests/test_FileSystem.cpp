#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace platform;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

}  // namespace

// New files skip the sync that replaced ones get; both must come out whole,
// alone in their folder, with the mode a new file of any program gets.
TEST(FileSystem, NewAndReplacedFilesComeOutWhole)
{
    QTemporaryDir dir;
    const mode_t mask = umask(022);
    umask(mask);
    const QByteArray big(300 * 1024, 'b');
    const QString fresh = dir.filePath("new.ico");
    EXPECT_EQ(replaceFile(fresh, big), WriteResult::Written);
    EXPECT_EQ(readAll(fresh), big);
    EXPECT_EQ(modeOf(fresh), 0666 & ~mask);

    const QString old = dir.filePath("old.ico");
    QFile::copy(fresh, old);
    QFile::setPermissions(old, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(replaceFile(old, "small"), WriteResult::Written);
    EXPECT_EQ(readAll(old), "small");
    EXPECT_EQ(modeOf(old), 0600u);

    EXPECT_TRUE(copyFileAtomically(fresh, dir.filePath("copy.ico")));
    EXPECT_EQ(readAll(dir.filePath("copy.ico")), big);
    EXPECT_TRUE(copyFileAtomically(old, dir.filePath("copy.ico")));
    EXPECT_EQ(readAll(dir.filePath("copy.ico")), "small");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"copy.ico", "new.ico", "old.ico"}));
}

TEST(FileSystem, NewFileThatCannotBeMadeLeavesNothing)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_EQ(replaceFile(dir.filePath("missing/x.ico"), "data", &error), WriteResult::NotCreated);
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(copyFileAtomically(dir.filePath("nothere"), dir.filePath("y.ico"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}
