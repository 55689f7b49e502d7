#include "platform/FileSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "FileBytes.h"
#include "WriteFaults.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using fixture::readAll;
using fixture::writeFile;

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

TEST(FileSet, PutsEveryFileInPlaceOrNone)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString a = dir.filePath("a"), b = dir.filePath("sub/b"), c = dir.filePath("c");
    ASSERT_TRUE(QDir().mkdir(dir.filePath("sub")));
    const auto prepare = [&] {
        QFile::remove(b);
        QFile::remove(c);
        writeFile(a, "old a");
        writeFile(c, "old c");
        ASSERT_TRUE(QFile::setPermissions(c, QFile::ReadOwner | QFile::ReadGroup));
    };
    const auto fill = [&](platform::FileSet& set) {
        QString error;
        ASSERT_EQ(set.add(a, "new a", &error), platform::WriteResult::Written) << error.toStdString();
        // Where there was no file, and one written through in pieces.
        ASSERT_EQ(set.add(b, "new b"), platform::WriteResult::Written);
        QFile* file = set.create(c);
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(platform::writeAll(*file, "nxw c"));
        ASSERT_TRUE(file->seek(1));
        ASSERT_TRUE(platform::writeAll(*file, "e"));
        EXPECT_EQ(set.create(a), nullptr);  // one file, one writer
    };
    const auto unchanged = [&] {
        EXPECT_EQ(readAll(a), "old a");
        EXPECT_EQ(readAll(c), "old c");
        EXPECT_EQ(entries(dir.path()), (QStringList {"a", "c", "sub"}));
        EXPECT_TRUE(entries(dir.filePath("sub")).isEmpty());
    };

    // A failed rename at every step of putting the files in place, on a
    // file system with hard links and on one without.
    for (const bool links : {true, false}) {
        SCOPED_TRACE(links ? "with hard links" : "without hard links");
        std::optional<fixture::LinkFault> noLinks;
        if (!links)
            noLinks.emplace(EPERM);
        prepare();
        int n = 1;
        for (;; ++n) {
            ASSERT_LT(n, 20);
            SCOPED_TRACE(n);
            platform::FileSet set;
            fill(set);
            QString failed, error;
            // Each name that had a file holds a whole one, old or new, at
            // every step; an old one kept aside has a temporary's name.
            int checks = 0;
            const fixture::RenameWatch watch([&] {
                if (!links)
                    return;
                ++checks;
                EXPECT_TRUE(readAll(a) == "old a" || readAll(a) == "new a");
                EXPECT_TRUE(readAll(c) == "old c" || readAll(c) == "new c");
                for (const QString& name : entries(dir.path()))
                    EXPECT_TRUE(name.startsWith(".pictorium-") || name == "a" || name == "c" || name == "sub")
                        << name.toStdString();
            });
            fixture::RenameFault fault(n, ENOSPC);
            if (set.commit(&failed, &error)) {
                EXPECT_FALSE(fault.met());
                EXPECT_EQ(checks, links ? 3 : 0);
                break;
            }
            EXPECT_TRUE(fault.met());
            EXPECT_TRUE(failed == a || failed == b || failed == c) << failed.toStdString();
            EXPECT_EQ(error, qt_error_string(ENOSPC));
            unchanged();
        }
        // With links each file takes one rename; without, a and c move aside
        // first.
        EXPECT_EQ(n, links ? 4 : 6);
        EXPECT_EQ(readAll(a), "new a");
        EXPECT_EQ(readAll(b), "new b");
        EXPECT_EQ(readAll(c), "new c");
        const QFile::Permissions rw = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
            | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
        EXPECT_EQ(QFile::permissions(c) & rw, QFile::ReadOwner | QFile::ReadGroup);
        EXPECT_EQ(entries(dir.path()), (QStringList {"a", "c", "sub"}));
    }

    // What is not committed is dropped.
    prepare();
    {
        platform::FileSet set;
        fill(set);
    }
    unchanged();
}

// A name of the set that is a link: the set puts its file in the link's
// place, or puts the link back when it fails; the file the link named,
// outside the set's folder, is never written.
TEST(FileSet, ReplacesALinkAsANameAndPutsItBack)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir().mkdir(dir.filePath("n")));
    const QString outside = dir.filePath("prec.txt");
    const QString link = dir.filePath("n/a.ico"), other = dir.filePath("n/b.ico");
    writeFile(outside, "precious");
    ASSERT_TRUE(QFile::link("../prec.txt", link));
    for (const bool fails : {true, false}) {
        SCOPED_TRACE(fails ? "a failed set" : "a set put in place");
        platform::FileSet set;
        QString error;
        ASSERT_EQ(set.add(link, "new a", &error), platform::WriteResult::Written) << error.toStdString();
        ASSERT_EQ(set.add(other, "new b"), platform::WriteResult::Written);
        std::optional<fixture::RenameFault> fault;
        if (fails)
            fault.emplace(2, ENOSPC);
        EXPECT_EQ(set.commit(nullptr, &error), !fails) << error.toStdString();
        EXPECT_EQ(readAll(outside), "precious");
        EXPECT_EQ(QFileInfo(link).isSymLink(), fails);
        EXPECT_EQ(readAll(link), fails ? "precious" : "new a");
        EXPECT_EQ(entries(dir.filePath("n")),
                  fails ? QStringList({"a.ico"}) : QStringList({"a.ico", "b.ico"}));
    }
}
