#include "platform/ShellFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

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
