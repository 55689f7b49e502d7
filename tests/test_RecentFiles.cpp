#include "app/RecentFiles.h"

#include <gtest/gtest.h>

TEST(RecentFiles, NewestOnTopTwelveAtMostOneChecked)
{
    TRecentFiles recent;
    EXPECT_TRUE(recent.EmptyVisible());
    for (int i = 1; i <= 13; ++i)
        recent.Select(QString("/f/file%1.dll").arg(i));
    ASSERT_EQ(recent.Items().size(), 12u);
    EXPECT_EQ(recent.Items().front().Hint, "/f/file13.dll");
    EXPECT_EQ(recent.Items().back().Hint, "/f/file2.dll");
    EXPECT_FALSE(recent.EmptyVisible());
    int checked = 0;
    for (const TRecentItem& item : recent.Items())
        checked += item.Checked;
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(recent.Items().front().Checked);

    // A re-open moves the file to the top and keeps one item of it.
    recent.Select("/f/file5.dll");
    EXPECT_EQ(recent.Items().size(), 12u);
    EXPECT_EQ(recent.Items().front().Hint, "/f/file5.dll");
    EXPECT_EQ(recent.Items()[1].Hint, "/f/file13.dll");
    EXPECT_EQ(std::count_if(recent.Items().begin(), recent.Items().end(),
                            [](const TRecentItem& i) { return i.Hint == "/f/file5.dll"; }),
              1);
}

TEST(RecentFiles, NamesAreExactAndShowAsWritten)
{
    TRecentFiles recent;
    recent.Load({"/a/Tools.dll", "/a/b.exe"});
    recent.Select("/a/tools.dll");  // another file on Linux
    ASSERT_EQ(recent.Items().size(), 3u);
    EXPECT_EQ(recent.Stored(), QStringList({"/a/tools.dll", "/a/Tools.dll", "/a/b.exe"}));
    EXPECT_EQ(TRecentFiles::MenuCaption("/x/Fish & Chips.exe"), "Fish && Chips.exe");
    TRecentFiles many;
    QStringList paths;
    for (int i = 0; i < 20; ++i)
        paths << QString("/p/%1").arg(i);
    many.Load(paths);
    EXPECT_EQ(many.Stored(), paths.mid(0, 12));
}
