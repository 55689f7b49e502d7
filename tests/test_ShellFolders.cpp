#include "platform/ShellFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

// Enough sub-folders that their expand buttons are probed on several
// threads; folders, links to folders, dot-folders and files mixed.
TEST(ShellFolders, ListsFoldersLinksAndTheirButtons)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString base = dir.path() + "/big";
    std::map<QString, std::pair<bool, bool>> expected;  // name -> link, has sub-folders
    for (int i = 0; i < 1100; ++i) {
        const QString name = QString(i % 100 == 0 ? ".f%1" : "f%1").arg(i);
        const bool sub = i % 3 == 0;
        ASSERT_TRUE(QDir().mkpath(base + "/" + name + (sub ? "/inner" : "")));
        if (i % 7 == 0) {
            QFile file(base + "/" + name + "/file.txt");  // a file is no sub-folder
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        expected[name] = {false, sub};
    }
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/target/child"));
    ASSERT_TRUE(QFile::link(dir.path() + "/target", base + "/link"));
    ASSERT_TRUE(QFile::link(dir.path() + "/nowhere", base + "/dangling"));
    ASSERT_TRUE(QFile::link(base + "/link", base + "/f1/linkonly"));  // only a link inside
    expected["link"] = {true, true};
    expected["f1"].second = true;
    QFile file(base + "/plain.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));

    const auto folders = listSubFolders(base);
    ASSERT_TRUE(folders);
    std::map<QString, std::pair<bool, bool>> got;
    for (const SubFolder& f : *folders)
        got[f.name] = {f.link, f.hasSubFolders};
    EXPECT_EQ(got, expected);

    EXPECT_TRUE(hasSubFolder(base));
    EXPECT_FALSE(hasSubFolder(base + "/f2"));
    EXPECT_FALSE(listSubFolders(dir.path() + "/missing"));
    EXPECT_FALSE(listSubFolders(base + "/plain.txt"));
}

namespace {

// `check` seen by a user who may not read `locked`: as root, which reads
// everything, another user's run in a child process; else the owner's,
// with the folder's rights taken away.
bool asOutsider(const QString& locked, const std::function<bool()>& check)
{
    const QByteArray path = QFile::encodeName(locked);
    if (geteuid() != 0) {
        chmod(path.constData(), 0);
        const bool ok = check();
        chmod(path.constData(), 0700);
        return ok;
    }
    chmod(path.constData(), 0700);
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

// A folder the user may not read can still hold folders: it keeps its
// button, and its opening is tried (and refused) again each time.
TEST(ShellFolders, AFolderThatCannotBeReadKeepsItsButton)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString base = dir.path() + "/base";
    ASSERT_TRUE(QDir().mkpath(base + "/locked/inner"));
    ASSERT_TRUE(QDir().mkpath(base + "/empty"));
    for (const QString& open : {dir.path(), base})
        ASSERT_EQ(chmod(QFile::encodeName(open).constData(), 0755), 0);
    EXPECT_TRUE(asOutsider(base + "/locked", [&] {
        const auto folders = listSubFolders(base);
        if (!folders || folders->size() != 2)
            return false;
        for (const SubFolder& f : *folders) {
            if (f.hasSubFolders != (f.name == "locked"))
                return false;
        }
        return hasSubFolder(base + "/locked") && !listSubFolders(base + "/locked");
    }));
}
