#include "platform/FileSet.h"
#include "platform/FileSystem.h"

#include "WriteFaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Makes ready to replace a file with Data (outside any fault) and gives
// the step that does it: false and a reason when it fails.
using Replace = std::function<bool(const QString& Dest, QString& Error)>;
using Writer = std::function<Replace(const QByteArray& Data)>;

struct NamedWriter {
    const char* name;
    Writer prepare;
};

std::vector<NamedWriter> writers(const QString& Scratch)
{
    return {
        {"replaceFile",
         [](const QByteArray& data) -> Replace {
             return [data](const QString& dest, QString& error) {
                 return platform::replaceFile(dest, data, &error) == platform::WriteResult::Written;
             };
         }},
        {"copyFileAtomically",
         [Scratch](const QByteArray& data) -> Replace {
             const QString source = Scratch + QStringLiteral("/copy-source");
             writeFile(source, data);
             return [source](const QString& dest, QString& error) {
                 return platform::copyFileAtomically(source, dest, &error);
             };
         }},
        // The exports of several files (and the PDF document) go through a set.
        {"FileSet",
         [](const QByteArray& data) -> Replace {
             return [data](const QString& dest, QString& error) {
                 platform::FileSet set;
                 return set.add(dest, data, &error) == platform::WriteResult::Written
                     && set.commit(nullptr, &error);
             };
         }},
    };
}

// Every size: one the writer buffers whole and one it writes at once.
const qsizetype kSizes[] = {600, 300 * 1024};

}  // namespace

TEST(FileSystem, AWriteFaultKeepsTheOldFileAndIsReported)
{
    QTemporaryDir dir;
    QTemporaryDir scratch;  // apart, so that only the destination's folder is looked at
    const QByteArray old(100, 'o');
    for (const NamedWriter& w : writers(scratch.path())) {
        for (const qsizetype size : kSizes) {
            SCOPED_TRACE(std::string(w.name) + " " + std::to_string(size));
            const QString dest = dir.filePath(QStringLiteral("old.bin"));
            writeFile(dest, old);
            const Replace replace = w.prepare(QByteArray(size, 'n'));
            QString error;
            bool written;
            {
                // Past the old file's size: only the new data meets the fault.
                fixture::FileSizeLimit limit(400);
                ASSERT_TRUE(limit.active());
                written = replace(dest, error);
            }
            EXPECT_FALSE(written);
            EXPECT_FALSE(error.isEmpty());
            EXPECT_EQ(readAll(dest), old);
            // No temporary file is left beside it.
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"old.bin"});
        }
    }
}

TEST(FileSystem, AFullDiskKeepsTheOldFileAndSaysSo)
{
    fixture::SmallVolume volume;
    if (!volume.mounted())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    QTemporaryDir scratch;
    const QString dest = volume.filePath(QStringLiteral("old.png"));
    const QByteArray old(3000, 'o');
    writeFile(dest, old);
    volume.fill();
    for (const NamedWriter& w : writers(scratch.path())) {
        for (const qsizetype size : kSizes) {
            SCOPED_TRACE(std::string(w.name) + " " + std::to_string(size));
            QString error;
            EXPECT_FALSE(w.prepare(QByteArray(size, 'n'))(dest, error));
            EXPECT_TRUE(error.contains(QStringLiteral("No space left on device"))) << error.toStdString();
            EXPECT_EQ(readAll(dest), old);
        }
    }
}

TEST(FileSystem, FileIdentityTellsAReplacedOrRewrittenFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f.dll"));
    const QString other = dir.filePath(QStringLiteral("other.dll"));
    // Both files alike in size and time, so only what tells them apart can.
    const auto make = [](const QString& path, const QByteArray& bytes) {
        writeFile(path, bytes);
        const timespec times[2] = {{1000, 0}, {1000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    };
    const struct {
        const char* what;
        std::function<void()> change;
        bool same;
    } cases[] = {
        {"read only", [&] { readAll(file); }, true},
        {"another file renamed over it",
         [&] {
             make(other, "abcdef");
             ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(file).constData()),
                       0);
         },
         false},
        {"rewritten in place, same size",
         [&] {
             QFile f(file);
             ASSERT_TRUE(f.open(QIODevice::ReadWrite));
             ASSERT_EQ(f.write("ABCDEF"), 6);
         },
         false},
        {"truncated", [&] { ASSERT_EQ(::truncate(QFile::encodeName(file).constData(), 3), 0); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        make(file, "abcdef");
        const auto before = platform::fileIdentity(file);
        ASSERT_TRUE(before);
        c.change();
        EXPECT_EQ(platform::fileIdentity(file) == before, c.same);
    }
    // A link is the file it names; a missing file has none.
    ASSERT_TRUE(QFile::link(file, dir.filePath(QStringLiteral("link.dll"))));
    EXPECT_EQ(platform::fileIdentity(dir.filePath(QStringLiteral("link.dll"))), platform::fileIdentity(file));
    EXPECT_FALSE(platform::fileIdentity(dir.filePath(QStringLiteral("missing.dll"))));
}

TEST(FileSystem, ReplacesAndCopiesWhole)
{
    QTemporaryDir dir;
    for (const NamedWriter& w : writers(dir.path())) {
        for (const qsizetype size : kSizes) {
            SCOPED_TRACE(std::string(w.name) + " " + std::to_string(size));
            const QString dest = dir.filePath(QStringLiteral("new.bin"));
            writeFile(dest, "old");
            const QByteArray data(size, 'n');
            QString error;
            EXPECT_TRUE(w.prepare(data)(dest, error)) << error.toStdString();
            EXPECT_EQ(readAll(dest), data);
        }
    }
}

// New files skip the sync that replaced ones get; both must come out whole,
// alone in their folder, with the mode a new file of any program gets.
TEST(FileSystem, NewAndReplacedFilesComeOutWhole)
{
    QTemporaryDir dir;
    const mode_t mask = umask(022);
    umask(mask);
    const QByteArray big(300 * 1024, 'b');
    const QString fresh = dir.filePath("new.ico");
    EXPECT_EQ(platform::replaceFile(fresh, big), platform::WriteResult::Written);
    EXPECT_EQ(readAll(fresh), big);
    EXPECT_EQ(modeOf(fresh), 0666 & ~mask);

    const QString old = dir.filePath("old.ico");
    QFile::copy(fresh, old);
    QFile::setPermissions(old, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(platform::replaceFile(old, "small"), platform::WriteResult::Written);
    EXPECT_EQ(readAll(old), "small");
    EXPECT_EQ(modeOf(old), 0600u);

    EXPECT_TRUE(platform::copyFileAtomically(fresh, dir.filePath("copy.ico")));
    EXPECT_EQ(readAll(dir.filePath("copy.ico")), big);
    EXPECT_TRUE(platform::copyFileAtomically(old, dir.filePath("copy.ico")));
    EXPECT_EQ(readAll(dir.filePath("copy.ico")), "small");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"copy.ico", "new.ico", "old.ico"}));
}

// A destination name that is a link gets a new file in the link's place;
// the file the link named, elsewhere, stays as it was. The settings file,
// rewritten where the user's link leads, is the one file written through.
TEST(FileSystem, ALinkAtTheDestinationIsReplacedNotWrittenThrough)
{
    QTemporaryDir dir;
    const mode_t mask = umask(022);
    umask(mask);
    ASSERT_TRUE(QDir().mkdir(dir.filePath("out")));
    const QString elsewhere = dir.filePath("elsewhere.txt");
    const QString dest = dir.filePath("out/x.ico");
    for (const NamedWriter& w : writers(dir.path())) {
        for (const char* to : {"../elsewhere.txt", "../missing.txt", "."}) {
            SCOPED_TRACE(std::string(w.name) + " to " + to);
            writeFile(elsewhere, "precious");
            ASSERT_EQ(::chmod(QFile::encodeName(elsewhere).constData(), 0600), 0);
            QFile::remove(dest);
            ASSERT_EQ(::symlink(to, QFile::encodeName(dest).constData()), 0);
            QString error;
            ASSERT_TRUE(w.prepare("new")(dest, error)) << error.toStdString();
            EXPECT_FALSE(QFileInfo(dest).isSymLink());
            EXPECT_EQ(readAll(dest), "new");
            EXPECT_EQ(modeOf(dest), 0666 & ~mask);
            EXPECT_EQ(readAll(elsewhere), "precious");
            EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing.txt")));
            EXPECT_EQ(QDir(dir.filePath("out"))
                          .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                      QStringList {"x.ico"});
        }
    }
    const QString settings = dir.filePath("out/gharv.ini");
    ASSERT_TRUE(QFile::link(elsewhere, settings));
    EXPECT_EQ(platform::rewriteFile(settings, "[ini]"), platform::WriteResult::Written);
    EXPECT_TRUE(QFileInfo(settings).isSymLink());
    EXPECT_EQ(readAll(elsewhere), "[ini]");
    EXPECT_EQ(modeOf(elsewhere), 0600u);
}

TEST(FileSystem, NewFileThatCannotBeMadeLeavesNothing)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_EQ(platform::replaceFile(dir.filePath("missing/x.ico"), "data", &error),
              platform::WriteResult::NotCreated);
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(platform::copyFileAtomically(dir.filePath("nothere"), dir.filePath("y.ico"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// The temporary name does not grow with the destination's: every name the
// system allows is written, new or replaced, and one past its limit is
// refused in the system's words.
TEST(FileSystem, NamesUpToTheSystemsLimitAreWritten)
{
    QTemporaryDir dir;
    QTemporaryDir scratch;
    const QByteArray data(1000, 'd');
    for (int length = 240; length <= 256; ++length) {
        const QString name = QString(length - 4, u'n') + QStringLiteral(".ico");
        const QString dest = dir.filePath(name);
        for (const NamedWriter& w : writers(scratch.path())) {
            SCOPED_TRACE(std::string(w.name) + " " + std::to_string(length));
            for (const char* round : {"new", "replaced"}) {
                SCOPED_TRACE(round);
                QString error;
                const bool written = w.prepare(data)(dest, error);
                if (length <= 255) {
                    EXPECT_TRUE(written) << error.toStdString();
                    EXPECT_EQ(readAll(dest), data);
                } else {
                    EXPECT_FALSE(written);
                    EXPECT_EQ(error, QStringLiteral("File name too long"));
                }
            }
            QFile::remove(dest);
            EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        }
    }
}
