#include "platform/UserRegistry.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace platform;

namespace {

class UserRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    }
    void writeFile(QByteArrayView bytes)
    {
        QDir(m_dir.path()).mkpath("Maker");
        QFile f(m_dir.filePath("Maker/Tool.conf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), bytes.size());
    }
    QTemporaryDir m_dir;
};

TEST_F(UserRegistryTest, ValuesComeBackAsTheTextWritten)
{
    const QString paths[]
        = {"/a, b/c.dll", "/x=y;z/\"q\".exe", "@Variant(x)", " lead", QString::fromUtf8("/\xC3\xA4")};
    {
        UserRegistry r("Maker", "Tool");
        EXPECT_FALSE(r.keyExists());
        for (int i = 0; i < 5; ++i)
            r.writeString("Recent", QString::number(i), paths[i]);
        r.flush();
        EXPECT_EQ(r.fileName(), m_dir.filePath("Maker/Tool.conf"));
    }
    UserRegistry r("Maker", "Tool");
    EXPECT_TRUE(r.keyExists());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(r.readString("Recent", QString::number(i), "d"), paths[i]);
    EXPECT_EQ(r.readSectionValues("Recent").size(), 5);
    r.eraseSection("Recent");
    EXPECT_TRUE(r.readSectionValues("Recent").isEmpty());
}

TEST_F(UserRegistryTest, HandEditedAndBrokenFilesRead)
{
    writeFile("[Recent]\n0=/a, /b\n1=@Variant(\\0\\0\\0\\x7f)\n2=@ByteArray(xyz)\n[Broken\n=\n\\x\n");
    UserRegistry r("Maker", "Tool");
    EXPECT_EQ(r.readString("Recent", "0", "d"), "/a, /b");
    EXPECT_EQ(r.readString("Recent", "2", "d"), "xyz");
    (void)r.readString("Recent", "1", "d");
    (void)r.readSectionValues("Broken");
    EXPECT_EQ(r.readInteger("Settings", "Run", 3), 3);
}

TEST_F(UserRegistryTest, RemoveKeyLeavesOtherProgramsOfTheMaker)
{
    writeFile("[Settings]\nRun=1\n");
    QFile other(m_dir.filePath("Maker/Other.conf"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    UserRegistry r("Maker", "Tool");
    ASSERT_TRUE(r.keyExists());
    r.removeKey();
    EXPECT_FALSE(r.keyExists());
    EXPECT_FALSE(QFile::exists(m_dir.filePath("Maker/Tool.conf")));
    EXPECT_TRUE(QFile::exists(m_dir.filePath("Maker/Other.conf")));
    EXPECT_FALSE(UserRegistry("Maker", "Tool").keyExists());
}

}  // namespace
