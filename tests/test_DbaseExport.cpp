#include "app/DbaseExport.h"

#include "platform/Exceptions.h"

#include "HangGuard.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

const DbaseExport::Clock kMarch7th2016 = [] { return QDate(2016, 3, 7); };

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b += static_cast<char>(v);
    return b;
}

QByteArray zeros(int n) { return QByteArray(n, '\0'); }

QByteArray le32(uint32_t v)
{
    return bytes({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)});
}

// Data of n bytes that differ from block to block.
QByteArray pattern(int n, int seed)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return b;
}

QByteArray pngData()
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(QColor(10, 200, 30, 128));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

QByteArray fixtureIcon(const char* name)
{
    const QByteArray data = readAll(QStringLiteral(FIXTURE_DIR "/icons/") + QLatin1String(name));
    EXPECT_FALSE(data.isEmpty()) << name;
    return data;
}

void exportTable(const QString& dir, const QString& name, const std::vector<QByteArray>& memos,
                 const QString& fieldName = QString())
{
    DbaseExport table(dir, name, QString(), fieldName, kMarch7th2016);
    for (size_t i = 0; i < memos.size(); ++i)
        table.addIcon(static_cast<int>(i), memos[i]);
    table.finish();
}

QString run(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(kHangGuard))
        return {};
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    EXPECT_TRUE(p.readAllStandardError().isEmpty()) << program.toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

TEST(DbaseExport, TableAndMemoFilesByteForByte)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // One block exactly, two blocks by one byte, and a real icon file.
    const QByteArray ico = fixtureIcon("mixed.ico");
    exportTable(dir.path(), QStringLiteral("/elsewhere/icons"), {pattern(1016, 1), pattern(1017, 2), ico});

    const QByteArray table = readAll(dir.path() + QStringLiteral("/icons.dbf"));
    const QByteArray expectedTable = bytes({0x8B, 116, 3, 7, 3, 0, 0, 0, 65, 0, 11, 0}) + zeros(17)
        + bytes({0x1B, 0, 0}) + "ICON" + zeros(7) + "B" + bytes({1, 0, 0, 0, 10, 0}) + zeros(14)
        + bytes({0x0D}) + " 1" + zeros(9) + " 2" + zeros(9) + " 4" + zeros(9) + bytes({0x1A});
    EXPECT_EQ(table.size(), 99);
    EXPECT_EQ(table.toHex().toStdString(), expectedTable.toHex().toStdString());

    const QByteArray memo = readAll(dir.path() + QStringLiteral("/icons.dbt"));
    const int icoBlocks = (ico.size() + 8 + 1023) / 1024;
    const QByteArray expectedMemo = bytes({4 + icoBlocks, 0, 0, 0}) + zeros(4) + "ICONS" + zeros(3) + zeros(4)
        + bytes({0, 4}) + zeros(1002) + bytes({0xFF, 0xFF, 8, 0, 0x00, 0x04, 0, 0}) + pattern(1016, 1)
        + bytes({0xFF, 0xFF, 8, 0, 0x01, 0x04, 0, 0}) + pattern(1017, 2) + zeros(1023)
        + bytes({0xFF, 0xFF, 8, 0}) + le32(ico.size() + 8) + ico + zeros(icoBlocks * 1024 - ico.size() - 8);
    ASSERT_EQ(memo.size(), expectedMemo.size());
    EXPECT_TRUE(memo == expectedMemo);
}

TEST(DbaseExport, RealReadersReadTheFilesBack)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The reader asks for the block after a memo that fills its block
    // exactly, so that memo is not the last one here.
    const std::vector<QByteArray> memos
        = {fixtureIcon("mixed.ico"), fixtureIcon("depths.ico"), pngData(),    pattern(1016, 5),
           pattern(1017, 9),         fixtureIcon("png256.ico"), pattern(3, 4)};
    exportTable(dir.path(), QStringLiteral("icons.dbf"), memos, QStringLiteral("PICTURE"));
    const QString table = dir.path() + QStringLiteral("/icons.dbf");
    const QString memo = dir.path() + QStringLiteral("/icons.dbt");

    const QString tableType = run(QStringLiteral("file"), {QStringLiteral("-b"), table});
    EXPECT_TRUE(tableType.contains(QLatin1String("DBF"))) << tableType.toStdString();
    EXPECT_TRUE(tableType.contains(QLatin1String("7 records"))) << tableType.toStdString();
    const QString memoType = run(QStringLiteral("file"), {QStringLiteral("-b"), memo});
    EXPECT_TRUE(memoType.contains(QLatin1String("DBT"))) << memoType.toStdString();

    int exitCode = -1;
    const QString read
        = run(QStringLiteral("perl"),
              {QStringLiteral(SOURCE_DIR "/tests/support/read_dbase_memos.pl"), table}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    QStringList expected = {QStringLiteral("field PICTURE"), QStringLiteral("records 7")};
    for (const QByteArray& m : memos)
        expected << QString::fromLatin1(m.toHex());
    EXPECT_EQ(read.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
}

TEST(DbaseExport, FileNames)
{
    struct Case {
        const char* destDir;
        const char* destFileName;
        const char* destExt;
        const char* table;
        const char* memo;
    };
    const Case cases[] = {
        {"/db", "/db/icons", "", "/db/icons.dbf", "/db/icons.dbt"},
        {"/db/", "icons", ".dbase", "/db/icons.dbase", "/db/icons.dbt"},
        // The memo file takes the case of the table's extension.
        {"/db", "/other/Icons.DBF", ".dbf", "/db/Icons.DBF", "/db/Icons.DBT"},
        {"/db", "/db/t.Dbf", "", "/db/t.Dbf", "/db/t.Dbt"},
        {"/db", "/db/t.dBASE", "", "/db/t.dBASE", "/db/t.dBT"},
        {"/db", "/db/t.1", "", "/db/t.1", "/db/t.dbt"},
        {"/db", "/db/t", ".DBF", "/db/t.DBF", "/db/t.DBT"},
        {"/db", "/db/a.b.c", ".dbf", "/db/a.b.c", "/db/a.b.dbt"},
        // The memo file must never be the table itself.
        {"/db", "/db/icons.dbt", ".dbt", "/db/icons.dbt.dbf", "/db/icons.dbt.dbt"},
        {"/db", "/db/icons.DBT", ".dbt", "/db/icons.DBT.DBF", "/db/icons.DBT.DBT"},
        {"/db", "/db/icons", ".dbt", "/db/icons.dbt.dbf", "/db/icons.dbt.dbt"},
    };
    for (const Case& c : cases) {
        const QString table = DbaseExport::TableFileName(
            QString::fromUtf8(c.destDir), QString::fromUtf8(c.destFileName), QString::fromUtf8(c.destExt));
        EXPECT_EQ(table, QString::fromUtf8(c.table)) << c.destFileName;
        EXPECT_EQ(DbaseExport::MemoFileName(table), QString::fromUtf8(c.memo)) << c.destFileName;
        EXPECT_NE(table, DbaseExport::MemoFileName(table));
    }
}

TEST(DbaseExport, NamesAreStoredInTheCodePageAndCut)
{
    struct Case {
        const char* text;
        const char* stored;
    };
    // Field names: 10 bytes of Windows-1252, the code page the header names.
    const Case fields[] = {
        {"", "ICON"},
        {"DATA", "DATA"},
        {"ABCDEFGHIJKLMN", "ABCDEFGHIJ"},
        {"Gr\xC3\xB6\xC3\x9F"
         "e",
         "Gr\xF6\xDF"
         "e"},
        {"\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84",
         "\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4"},
        {"abcdefgh\xE2\x82\xAC", "abcdefgh\x80"},
    };
    for (const Case& c : fields)
        EXPECT_EQ(DbaseExport::EncodeFieldName(QString::fromUtf8(c.text)), QByteArray(c.stored)) << c.text;

    // The memo header's label: 8 bytes of the upper-cased name, "_" for
    // each character the code page lacks, so a table of any name is made.
    const Case labels[] = {
        {"icons.dbf", "ICONS"},
        {"myiconlibrary.dbf", "MYICONLI"},
        {"\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6.dbf", "\xC4\xD6\xDC\xC4\xD6"},
        {"\xD0\xA2\xD0\xB0\xD0\xB1\xD0\xBB\xD0\xB8\xD1\x86\xD1\x8F.dbf", "_______"},  // Таблиця
        {"\xCE\xB5\xCE\xB9\xCE\xBA\xCF\x8C\xCE\xBD\xCE\xB5\xCF\x82\xCE\xB1.dbf", "________"},  // εικόνεςα
        {"a\xE2\x82\xAC\xD0\x96\xF0\x9F\x98\x80"
         "b.dbf",
         "A\x80__B"},  // a€Ж😀b: one "_" a character
    };
    for (const Case& c : labels) {
        QTemporaryDir dir;
        exportTable(dir.path(), QString::fromUtf8(c.text), {pattern(5, 0)});
        const QString memo
            = DbaseExport::MemoFileName(dir.path() + QLatin1Char('/') + QString::fromUtf8(c.text));
        const QByteArray header = readAll(memo);
        ASSERT_EQ(header.size(), 2048) << c.text;
        EXPECT_EQ(header.mid(8, 8), QByteArray(c.stored).leftJustified(8, '\0')) << c.text;
    }

    // A name the code page cannot hold is refused before any file is made.
    QTemporaryDir dir;
    const struct {
        const char* table;
        const char* field;
    } refused[] = {
        {"t.dbf", "\xD0\x96\xD1\x83\xD0\xBA"},
        {"t.dbf", "a\xF0\x9F\x98\x80"},
    };
    for (const auto& r : refused) {
        try {
            DbaseExport table(dir.path(), QString::fromUtf8(r.table), QString(), QString::fromUtf8(r.field),
                              kMarch7th2016);
            ADD_FAILURE() << "accepted " << r.table << " " << r.field;
        } catch (const platform::Error& e) {
            EXPECT_TRUE(e.message().contains(QLatin1String("Windows-1252"))) << e.what();
        }
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // A real reader finds the field under its name (it upper-cases the
    // ASCII letters of field names).
    exportTable(dir.path(), QStringLiteral("t.dbf"), {pattern(5, 0)},
                QString::fromUtf8("Gr\xC3\xB6\xC3\x9F"
                                  "e"));
    EXPECT_EQ(readAll(dir.path() + QStringLiteral("/t.dbf")).mid(32, 12),
              QByteArray("Gr\xF6\xDF"
                         "e\0\0\0\0\0\0B",
                         12));
    QProcess perl;
    perl.start(QStringLiteral("perl"),
               {QStringLiteral(SOURCE_DIR "/tests/support/read_dbase_memos.pl"),
                dir.path() + QStringLiteral("/t.dbf")});
    ASSERT_TRUE(perl.waitForFinished(kHangGuard));
    const QByteArray read = perl.readAllStandardOutput();
    EXPECT_TRUE(read.startsWith("field GR\xF6\xDF"
                                "E\nrecords 1\n"))
        << read.toHex().toStdString();

    // So do the readers a table whose name the code page cannot hold.
    const QString cyrillic
        = dir.path() + QString::fromUtf8("/\xD0\xA2\xD0\xB0\xD0\xB1\xD0\xBB\xD0\xB8\xD1\x86\xD1\x8F");
    exportTable(dir.path(), cyrillic + QStringLiteral(".dbf"), {pattern(5, 0)});
    EXPECT_TRUE(run(QStringLiteral("file"), {QStringLiteral("-b"), cyrillic + QStringLiteral(".dbf")})
                    .contains(QLatin1String("DBF")));
    EXPECT_TRUE(run(QStringLiteral("file"), {QStringLiteral("-b"), cyrillic + QStringLiteral(".dbt")})
                    .contains(QLatin1String("DBT")));
    EXPECT_EQ(run(QStringLiteral("perl"),
                  {QStringLiteral(SOURCE_DIR "/tests/support/read_dbase_memos.pl"),
                   cyrillic + QStringLiteral(".dbf")}),
              QStringLiteral("field ICON\nrecords 1\n") + QString::fromLatin1(pattern(5, 0).toHex()) + u'\n');
}

TEST(DbaseExport, FailuresLeaveNoPartialFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString table = dir.path() + QStringLiteral("/icons.dbf");
    const QString memo = dir.path() + QStringLiteral("/icons.dbt");
    for (const QString& f : {table, memo}) {
        QFile old(f);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    const auto onlyOldFiles = [&] {
        EXPECT_EQ(readAll(table), QByteArray("old"));
        EXPECT_EQ(readAll(memo), QByteArray("old"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    };

    {
        // An icon that could not be encoded stops the export.
        DbaseExport run(dir.path(), table, QString(), QString(), kMarch7th2016);
        run.addIcon(0, pattern(100, 1));
        EXPECT_THROW(run.addIcon(1, QByteArrayView()), platform::Error);
        EXPECT_THROW(run.addIcon(2, pattern(100, 1)), platform::InOutError);
        EXPECT_NO_THROW(run.finish());
    }
    onlyOldFiles();

    {
        // A run that stops for an error of the caller.
        DbaseExport run(dir.path(), table, QString(), QString(), kMarch7th2016);
        run.addIcon(0, pattern(100, 1));
    }
    onlyOldFiles();

    {
        // Even a failure at the first icon ends the export.
        DbaseExport run(dir.path(), table, QString(), QString(), kMarch7th2016);
        EXPECT_THROW(run.addIcon(0, QByteArrayView()), platform::Error);
        EXPECT_THROW(run.addIcon(1, pattern(100, 1)), platform::InOutError);
        run.finish();
    }
    onlyOldFiles();

    DbaseExport run(dir.path() + QStringLiteral("/missing"), table, QString(), QString(), kMarch7th2016);
    EXPECT_THROW(run.addIcon(0, pattern(100, 1)), platform::InOutError);
    EXPECT_FALSE(QDir(dir.path() + QStringLiteral("/missing")).exists());

    DbaseExport none(dir.path(), table, QString(), QString(), kMarch7th2016);
    none.finish();
    onlyOldFiles();
}

}  // namespace
