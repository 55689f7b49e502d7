#include "platform/IniFile.h"

#include "platform/Exceptions.h"

#include "HangGuard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

// Bytes of a literal, zero bytes within included.
template <size_t N> QByteArray literal(const char (&text)[N]) { return QByteArray(text, N - 1); }

IniFile parse(QByteArrayView bytes)
{
    IniFile ini;
    ini.setBytes(bytes);
    return ini;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, QByteArrayView bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes.data(), bytes.size()), bytes.size());
}

TEST(IniFile, ParsesIntegersAsTheStoresDo)
{
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"42", 42},
        {"-7", -7},
        {"+5", 5},
        {" 12\t", 12},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"$FF", 255},
        {"0x10", 16},
        {"0Xa", 10},
        {"$FFFFFFFF", -1},
        {"-$10", -16},
        {"$100000000", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"abc", std::nullopt},
        {"12a", std::nullopt},
        {"1 2", std::nullopt},
        {"1.5", std::nullopt},
        {"--1", std::nullopt},
        {"true", std::nullopt},
        {"\xEF\xBC\x91", std::nullopt},  // full-width 1
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseInteger(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST(IniFile, ReadsValuesWithDefaults)
{
    const IniFile ini
        = parse("[Settings]\nNumber = 12 \nBad=12a\nTwo=2\nZero=0\nWord=yes\nText= a=b \nEmpty=\n");
    EXPECT_EQ(ini.readInteger("Settings", "Number", 5), 12);
    EXPECT_EQ(ini.readInteger("settings", "NUMBER", 5), 12) << "names ignore letter case";
    EXPECT_EQ(ini.readInteger("Settings", "Bad", 5), 5);
    EXPECT_EQ(ini.readInteger("Settings", "Missing", 5), 5);
    EXPECT_EQ(ini.readInteger("Other", "Number", 5), 5);
    EXPECT_TRUE(ini.readBool("Settings", "Two", false));
    EXPECT_FALSE(ini.readBool("Settings", "Zero", true));
    EXPECT_TRUE(ini.readBool("Settings", "Word", true));
    EXPECT_FALSE(ini.readBool("Settings", "Word", false));
    EXPECT_EQ(ini.readString("Settings", "Text", "d"), "a=b");
    EXPECT_EQ(ini.readString("Settings", "Empty", "d"), "");
    EXPECT_EQ(ini.readString("Settings", "Missing", "d"), "d");
}

TEST(IniFile, KeepsWhatItDoesNotTouchInItsOrder)
{
    const QByteArray text = "; written by hand\n"
                            "[Zeta]\r\n"
                            "b=2\r\n"
                            "a=1\r\n"
                            "\r\n"
                            "[Settings]\r"
                            "; a comment\r"
                            "Run=4\r"
                            "stray line\r"
                            "Unknown=kept\r";
    IniFile ini = parse(text);
    ini.writeInteger("Settings", "Run", 5);
    ini.writeString("Settings", "New", "n");
    ini.writeString("Added", "x", "y");
    EXPECT_EQ(ini.toBytes().toStdString(),
              "; written by hand\n"
              "[Zeta]\r\n"
              "b=2\r\n"
              "a=1\r\n"
              "\r\n"
              "[Settings]\r"
              "; a comment\r"
              "Run=5\r"
              "stray line\r"
              "Unknown=kept\r"
              "New=n\r"
              "\n"
              "[Added]\n"
              "x=y\n");
    const IniValues values = ini.readSectionValues("settings");
    ASSERT_EQ(values.size(), 3);
    EXPECT_EQ(values[0], (QPair<QString, QString>("Run", "5")));
    EXPECT_EQ(values[2], (QPair<QString, QString>("New", "n")));
}

TEST(IniFile, RewritesOnlyTheBytesOfTheValuesItChanges)
{
    const QByteArray text = literal("\xEF\xBB\xBF; caf\xE9 in Latin-1\r\n"
                                    "\r\n"
                                    "[Settings]\r\n"
                                    "  Run = 4  \r\n"
                                    "Language=\"2\"\r\n"
                                    "Name=\"  spaced \"\r\n"
                                    "\tIndented = \xFF\xFE\r\n"
                                    "\r\n"
                                    "[Mine]  \r\n"
                                    "k=\x80\x81 v\r\n"
                                    "last=no break");
    IniFile ini = parse(text);
    EXPECT_EQ(ini.toBytes(), text) << "nothing written, nothing changed";
    EXPECT_EQ(ini.readInteger("Settings", "Run", 0), 4);
    EXPECT_EQ(ini.readString("Settings", "Name", ""), "  spaced ");

    ini.writeInteger("Settings", "Run", 5);
    ini.writeInteger("Settings", "Language", 3);
    ini.writeString("Settings", "Name", "  spaced ");  // the same value: the line stays
    ini.writeString("Settings", "Indented", ini.readString("Settings", "Indented", ""));
    ini.writeString("Settings", "New", " n");
    ini.writeString("Mine", "more", "m");
    EXPECT_EQ(ini.toBytes().toStdString(),
              literal("\xEF\xBB\xBF; caf\xE9 in Latin-1\r\n"
                      "\r\n"
                      "[Settings]\r\n"
                      "  Run = 5  \r\n"
                      "Language=\"3\"\r\n"
                      "Name=\"  spaced \"\r\n"
                      "\tIndented = \xFF\xFE\r\n"
                      "New=\" n\"\r\n"
                      "\r\n"
                      "[Mine]  \r\n"
                      "k=\x80\x81 v\r\n"
                      "last=no break\r\n"
                      "more=m\r\n")
                  .toStdString());
}

TEST(IniFile, ErasedSectionKeepsItsPlaceWhenRefilled)
{
    IniFile ini = parse("[A]\na=1\n\n[Recent]\n; mine\n0=/x\n1=/y\n[Recent]\n5=/stale\n\n[B]\nb=2\n");
    ini.eraseSection("recent");
    EXPECT_FALSE(ini.sectionExists("Recent"));
    EXPECT_TRUE(ini.readSectionValues("Recent").isEmpty());
    EXPECT_EQ(ini.toBytes(), "[A]\na=1\n\n[Recent]\n; mine\n[Recent]\n\n[B]\nb=2\n");
    ini.writeString("Recent", "0", "/z");
    EXPECT_EQ(ini.toBytes(), "[A]\na=1\n\n[Recent]\n; mine\n0=/z\n[Recent]\n\n[B]\nb=2\n");
}

TEST(IniFile, EveryOneLineValueReadsBackAsWritten)
{
    const QString values[]
        = {"", " lead", "trail\t", "\"quoted\"", "\"", "\"half", "a \"b\" c", "=;[x]", "  "};
    IniFile ini;
    for (int i = 0; i < 9; ++i)
        ini.writeString("S", QString::number(i), values[i]);
    const IniFile back = parse(ini.toBytes());
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(back.readString("S", QString::number(i), "d"), values[i]) << i;
    EXPECT_EQ(parse("[S]\nk=\"  x \"\n").readString("S", "k", ""), "  x ");
}

TEST(IniFile, ByteOrderMarkIsReadAndKept)
{
    const IniFile with = parse("\xEF\xBB\xBF[S]\nName=\xC3\xA4\n");
    EXPECT_EQ(with.readString("S", "Name", ""), QString(QChar(0xE4)));
    EXPECT_TRUE(with.toBytes().startsWith("\xEF\xBB\xBF[S]\n"));
    EXPECT_EQ(parse("[S]\nName=1\n").toBytes(), "[S]\nName=1\n");
}

TEST(IniFile, RefusesWhatCannotStandOnOneLine)
{
    struct Case {
        const char* section;
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"S", "N", "a\nb"}, {"S", "N", "a\rb"}, {"S\n", "N", "v"}, {" S", "N", "v"},
        {"S", "", "v"},     {"S", "a=b", "v"},  {"S", " N", "v"},  {"S", "N\n", "v"},
        {"S", "[N", "v]"},  {"S", ";N", "v"},   {"S", "#N", "v"},
    };
    for (const Case& c : cases) {
        IniFile ini;
        EXPECT_THROW(ini.writeString(c.section, c.name, c.value), Error) << c.section << '|' << c.name;
        EXPECT_EQ(ini.toBytes(), "");
    }
}

TEST(IniFile, BrokenBytesReadWithoutHarmAndStayAsTheyAre)
{
    const QByteArray inputs[] = {
        literal("\xFF\xFE[S]\n\xC3=\x80\n"),
        literal("[S\n]\n[]\n=\n==x\n[[a]]\n"),
        literal("\0[S]\0\nk=\0v\n"),
        literal(" \xEF\xBB\xBF\n; [S\n1=/x=-(2\n"),  // a stray mark that would read as the file's own
        QByteArray(100000, '['),
        QByteArray(100000, '\r'),
    };
    for (const QByteArray& input : inputs)
        EXPECT_EQ(parse(input).toBytes(), input);
    EXPECT_EQ(parse("[]\nk=v\n").readString("", "k", ""), "v");
}

TEST(IniFile, LoadsAndSavesThroughTheFileSystem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/folder/gharv.ini");

    IniFile missing(path);
    EXPECT_TRUE(missing.load()) << "a missing file reads as empty";
    missing.writeString("S", "k", "v");
    ASSERT_TRUE(missing.save());
    EXPECT_EQ(readAll(path), "[S]\nk=v\n");

    IniFile again(path);
    ASSERT_TRUE(again.load());
    EXPECT_EQ(again.readString("S", "k", ""), "v");

    QString error;
    IniFile folder(dir.path());
    EXPECT_FALSE(folder.load(&error));
    EXPECT_FALSE(error.isEmpty());

    IniFile underFile(path + "/gharv.ini");
    underFile.writeString("S", "k", "w");
    EXPECT_FALSE(underFile.save());
    EXPECT_EQ(readAll(path), "[S]\nk=v\n");
}

// Every run saves the settings at its end: bytes that are still what the file
// holds are not written again (a rewrite through a rename gives a new inode).
TEST(IniFile, SaveLeavesAFileThatHoldsTheSameBytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("gharv.ini");
    writeAll(path, "\xEF\xBB\xBF[S]\r\nk=v\r\n");
    const auto inode = [&] {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t {0};
    };
    const ino_t first = inode();

    IniFile same(path);
    ASSERT_TRUE(same.load());
    same.writeString("S", "k", "v");
    ASSERT_TRUE(same.save());
    EXPECT_EQ(inode(), first);

    IniFile changed(path);
    ASSERT_TRUE(changed.load());
    changed.writeString("S", "k", "w");
    ASSERT_TRUE(changed.save());
    EXPECT_NE(inode(), first);
    EXPECT_EQ(readAll(path), "\xEF\xBB\xBF[S]\r\nk=w\r\n");

    // A file gone since it was read is written again.
    IniFile gone(path);
    ASSERT_TRUE(gone.load());
    QFile::remove(path);
    ASSERT_TRUE(gone.save());
    EXPECT_EQ(readAll(path), "\xEF\xBB\xBF[S]\r\nk=w\r\n");
}

TEST(IniFile, FileThatIsNoUtf8TextIsNotRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("gharv.ini");
    const QByteArray cases[] = {
        literal("\xFF\xFE[\0S\0]\0\n\0k\0=\0v\0\n\0"),  // UTF-16, little end first
        literal("\xFE\xFF\0[\0S\0]\0\n"),
        literal("[S]\nk=v\n\x01\x02\0\0\x7F\x45LF"),
    };
    for (const QByteArray& bytes : cases) {
        writeAll(path, bytes);
        IniFile ini(path);
        QString error;
        EXPECT_FALSE(ini.load(&error));
        EXPECT_TRUE(error.contains("UTF-8")) << error.toStdString();
        EXPECT_EQ(ini.readString("S", "k", "d"), "d");
    }
}

TEST(IniFile, FifoIsOpenedWithoutWaitingAndNotRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("gharv.ini");
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    IniFile ini(path);
    QString error;
    auto loaded = std::async(std::launch::async, [&] { return ini.load(&error); });
    if (loaded.wait_for(std::chrono::milliseconds(kHangGuard)) != std::future_status::ready) {
        ADD_FAILURE() << "load waits for a writer";
        ::close(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK));  // lets it go
    }
    EXPECT_FALSE(loaded.get());
    EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
}

TEST(IniFile, TooLargeFileIsNotRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("big.ini");
    QByteArray big("[S]\nk=v\n");
    big.resize(IniFile::kMaxFileSize + 1, ';');
    writeAll(path, big);
    IniFile ini(path);
    EXPECT_FALSE(ini.load());
    EXPECT_EQ(ini.readString("S", "k", "d"), "d");
}

TEST(IniFile, FailedSaveLeavesTheOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    QTemporaryDir dir;
    const QString path = dir.filePath("gharv.ini");
    writeAll(path, "[S]\nk=old\n");
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    IniFile ini(path);
    ASSERT_TRUE(ini.load());
    ini.writeString("S", "k", "new");
    EXPECT_FALSE(ini.save());
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(readAll(path), "[S]\nk=old\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList {"gharv.ini"});
}

// A rewrite never makes a file the next load refuses: one that would
// grow past the limit is not written, and the old file stays. Up to the
// limit, long runs of blank lines and comments stay as they stand around
// the values written into them.
TEST(IniFile, RewriteStaysWithinTheSizeLimit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("gharv.ini");
    const QByteArray head("[Settings]\n; note\n");
    for (const qint64 size : {IniFile::kMaxFileSize - 200, IniFile::kMaxFileSize - 8}) {
        SCOPED_TRACE(size);
        QByteArray bytes = head;
        const QByteArray blank = QByteArray(63, ' ') + '\n';
        while (bytes.size() + blank.size() <= size)
            bytes += blank;
        bytes.resize(size, '\n');
        writeAll(path, bytes);
        IniFile ini(path);
        ASSERT_TRUE(ini.load());
        ini.writeString("Settings", "Run", "12");
        ini.writeString("Recent", "0", "/a/b.dll");
        QString error;
        const bool saved = ini.save(&error);
        const QByteArray expected = head + "Run=12\n" + bytes.sliced(head.size()) + "[Recent]\n0=/a/b.dll\n";
        if (expected.size() <= IniFile::kMaxFileSize) {
            EXPECT_TRUE(saved) << error.toStdString();
            EXPECT_EQ(readAll(path), expected);
            EXPECT_TRUE(IniFile(path).load());
        } else {
            EXPECT_FALSE(saved);
            EXPECT_TRUE(error.contains("larger than 8388608 bytes")) << error.toStdString();
            EXPECT_EQ(readAll(path), bytes);
        }
    }
}

}  // namespace
