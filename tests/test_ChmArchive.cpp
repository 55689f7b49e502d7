// Help files read through libchm: the project's own, and damaged copies of
// them, which must be refused without harm to the reading process.
#include "platform/ChmArchive.h"

#include "ChmDamage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kBuildDir = QStringLiteral(HELP_FILE_DIR);

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Archive : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = platform::openLibrary(QStringLiteral("libchm.so.1"));
        ASSERT_NE(library, nullptr) << "libchm1 is not installed";
        ASSERT_TRUE(platform::bindChmLibrary(library));
    }
    void TearDown() override
    {
        platform::unbindChmLibrary();
        platform::closeLibrary(library);
    }
    platform::LibraryHandle library = nullptr;
};

}  // namespace

TEST_F(Archive, ReadsTheProjectsHelpFiles)
{
    for (const char* language : {"english", "ukrainian"}) {
        const QString chm = kBuildDir + u'/' + QLatin1String(language) + QStringLiteral(".chm");
        const auto archive = platform::ChmArchive::open(chm);
        ASSERT_NE(archive, nullptr) << language;
        EXPECT_EQ(archive->path(), chm);
        const QStringList files = archive->files();
        EXPECT_TRUE(files.contains(QStringLiteral("/index.htm"))) << language;
        for (const QString& file : files)
            EXPECT_FALSE(file.startsWith(QLatin1String("/#")) || file.startsWith(QLatin1String("::"))
                         || file.endsWith(u'/'))
                << file.toStdString();
        const QByteArray page = contents(QStringLiteral(SOURCE_DIR "/help/") + QLatin1String(language)
                                         + QStringLiteral("/index.htm"));
        ASSERT_FALSE(page.isEmpty());
        EXPECT_EQ(archive->read(QStringLiteral("/index.htm")), page);
        EXPECT_EQ(archive->read(QStringLiteral("/INDEX.HTM")), page);  // as the directory compares
        // The system record is there to read, though no file of the list.
        EXPECT_TRUE(archive->contains(QStringLiteral("/#SYSTEM")));
        EXPECT_TRUE(archive->read(QStringLiteral("/#SYSTEM")).has_value());
        EXPECT_FALSE(archive->contains(QStringLiteral("/missing.htm")));
        EXPECT_FALSE(archive->read(QStringLiteral("/missing.htm")).has_value());
    }
}

TEST_F(Archive, RefusesWhatIsNoReadableHelpFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("help.chm"));
    for (const char* language : {"english", "ukrainian"}) {
        const std::vector<DamagedChm> copies
            = damagedCopies(contents(kBuildDir + u'/' + QLatin1String(language) + QStringLiteral(".chm")));
        ASSERT_FALSE(copies.empty()) << language;
        for (const DamagedChm& copy : copies) {
            QFile::remove(path);
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(copy.bytes);
            file.close();
            EXPECT_EQ(platform::ChmArchive::open(path), nullptr) << language << ": " << copy.fault;
        }
    }
    EXPECT_EQ(platform::ChmArchive::open(dir.filePath(QStringLiteral("missing.chm"))), nullptr);
    EXPECT_EQ(platform::ChmArchive::open(dir.path()), nullptr);
    // Still able to read a sound one.
    EXPECT_NE(platform::ChmArchive::open(kBuildDir + QStringLiteral("/english.chm")), nullptr);
}

TEST(ArchiveUnbound, OpensNothing)
{
    platform::unbindChmLibrary();
    EXPECT_EQ(platform::ChmArchive::open(QStringLiteral(HELP_FILE_DIR "/english.chm")), nullptr);
}
