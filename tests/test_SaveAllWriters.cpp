#include "app/SaveAllWriters.h"

#include "app/SaveAllRun.h"
#include "platform/Icon.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

platform::Icon redIcon()
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::red);
    return platform::Icon::fromImage(image);
}

}  // namespace

// Each kind is chosen by its code alone, names what it writes, and puts it
// in place, and counts it, only when it finishes.
TEST(SaveAllWriters, EachKindWritesAndCountsItsOwnWay)
{
    struct Case {
        int fileType;
        int targetImageType;
        const char* numberedExt;
        QStringList finalFiles;  // relative to the folder
    };
    const Case cases[] = {
        {5, 0, ".png", {}},           {2, 0, ".jpg", {}},
        {11, 2, ".gif", {"out.htm"}}, {12, 0, "", {"out.dbf", "out.dbt"}},
        {13, 0, "", {"out.pdf"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileType);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        TSaveAllTarget target;
        target.Source = QStringLiteral("/nonexistent/source.dll");
        target.DestDir = c.fileType == 11 ? dir.filePath("out_files") : dir.path();
        // The document's name comes whole; the page and table add their extension.
        target.DestFileName = c.fileType == 13 ? QStringLiteral("out.pdf") : QStringLiteral("out");
        target.DBFFieldName = QStringLiteral("ICON");
        target.FileType = c.fileType;
        target.TargetImageType = c.targetImageType;
        target.Width = target.Height = 32;
        QDir().mkdir(target.DestDir);
        const auto writer = MakeSaveAllWriter(target);
        EXPECT_EQ(writer->NumberedFileExt(), QString::fromLatin1(c.numberedExt));

        QStringList started;
        for (const QString& name : writer->Start())
            started << QDir(dir.path()).relativeFilePath(name);
        EXPECT_EQ(started, c.finalFiles);

        const QString numbered = writer->NumberedFileExt().isEmpty()
            ? QString()
            : QDir(target.DestDir).filePath("ico_source_dll0001" + writer->NumberedFileExt());
        writer->Add(0, redIcon(), numbered);
        // A numbered file counts one block at least against the run's output.
        if (!numbered.isEmpty()) {
            EXPECT_GE(writer->Output(), kRunOutputFileBlock);
            EXPECT_FALSE(QFileInfo::exists(numbered));
        }
        for (const QString& name : c.finalFiles)
            EXPECT_FALSE(QFileInfo::exists(dir.filePath(name))) << name.toStdString();

        EXPECT_EQ(writer->Finish(), 1);
        for (const QString& name : c.finalFiles)
            EXPECT_TRUE(QFileInfo(dir.filePath(name)).size() > 0) << name.toStdString();
        if (!numbered.isEmpty()) {
            EXPECT_GT(QFileInfo(numbered).size(), 0);
        }
    }
}

// A writer whose run ends before Finish leaves nothing: no numbered file,
// page, table or document.
TEST(SaveAllWriters, AnUnfinishedWriterLeavesNothing)
{
    for (const int fileType : {5, 11, 12, 13}) {
        SCOPED_TRACE(fileType);
        QTemporaryDir dir;
        TSaveAllTarget target;
        target.Source = QStringLiteral("/nonexistent/source.dll");
        target.DestDir = fileType == 11 ? dir.filePath("out_files") : dir.path();
        target.DestFileName = QStringLiteral("out");
        target.DBFFieldName = QStringLiteral("ICON");
        target.FileType = fileType;
        target.Width = target.Height = 32;
        QDir().mkdir(target.DestDir);
        {
            const auto writer = MakeSaveAllWriter(target);
            writer->Start();
            const QString name = writer->NumberedFileExt().isEmpty()
                ? QString()
                : QDir(target.DestDir).filePath("ico_source_dll0001.png");
            writer->Add(0, redIcon(), name);
        }
        QDir all(dir.path());
        EXPECT_EQ(all.entryList(QDir::Files | QDir::Hidden).size(), 0);
        if (fileType == 11) {
            EXPECT_EQ(QDir(target.DestDir).entryList(QDir::Files | QDir::Hidden).size(), 0);
        }
    }
}
