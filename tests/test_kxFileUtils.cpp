#include "kxCommon/kxFileUtils.h"

#include "PeBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace fixture;

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);

// Sets or clears environment variables for one test and restores them.
class EnvGuard {
public:
    void set(const char* name, const QString& value)
    {
        save(name);
        qputenv(name, value.toLocal8Bit());
    }
    void unset(const char* name)
    {
        save(name);
        qunsetenv(name);
    }
    ~EnvGuard()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                qputenv(name.c_str(), *value);
            else
                qunsetenv(name.c_str());
        }
    }

private:
    void save(const char* name)
    {
        for (const auto& entry : m_saved)
            if (entry.first == name)
                return;
        m_saved.emplace_back(
            name, qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name)) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<QByteArray>>> m_saved;
};

void writeFile(const QString& path, const ByteVec& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

void pad4(ByteVec& b)
{
    while (b.size() % 4)
        b.push_back(0);
}

// One block of a version resource: header, key, value, children.
ByteVec versionBlock(const std::u16string& key, const ByteVec& value, uint16_t valueLength, bool text,
                     const std::vector<ByteVec>& children = {})
{
    ByteVec b(6, 0);
    for (char16_t c : key + u'\0') {
        b.push_back(uint8_t(c));
        b.push_back(uint8_t(c >> 8));
    }
    pad4(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const ByteVec& child : children) {
        pad4(b);
        b.insert(b.end(), child.begin(), child.end());
    }
    put16(b, 0, uint16_t(b.size()));
    put16(b, 2, valueLength);
    put16(b, 4, text ? 1 : 0);
    return b;
}

ByteVec textValue(const std::u16string& key, const std::u16string& text)
{
    ByteVec value;
    for (char16_t c : text + u'\0') {
        value.push_back(uint8_t(c));
        value.push_back(uint8_t(c >> 8));
    }
    return versionBlock(key, value, uint16_t(text.size() + 1), true);
}

ByteVec versionInfo(const std::u16string& table, std::optional<ByteVec> translation)
{
    std::vector<ByteVec> children
        = {versionBlock(u"StringFileInfo", {}, 0, true,
                        {versionBlock(table, {}, 0, true, {textValue(u"FileVersion", u"7.7")})})};
    if (translation)
        children.push_back(
            versionBlock(u"VarFileInfo", {}, 0, true,
                         {versionBlock(u"Translation", *translation, uint16_t(translation->size()), false)}));
    return versionBlock(u"VS_VERSION_INFO", {}, 0, false, children);
}

}  // namespace

TEST(JoinPath, JoinsWithOneSlash)
{
    EXPECT_EQ(JoinPath("/", "a"), "/a");
    EXPECT_EQ(JoinPath("/x", "a"), "/x/a");
    EXPECT_EQ(JoinPath("/x/", "a"), "/x/a");
    EXPECT_EQ(JoinPath("x", "a/b"), "x/a/b");
    EXPECT_EQ(JoinPath("/x", "/a"), "/x//a");  // Name as it stands
    EXPECT_EQ(JoinPath("/x", ""), "/x/");
    EXPECT_EQ(JoinPath("", "a"), "a");  // not "/a" at the root
    EXPECT_EQ(JoinPath("C:\\x", "a"), "C:\\x/a");
}

TEST(AddBackslash, AddsOneTrailingSlash)
{
    EXPECT_EQ(AddBackslash(""), "");
    EXPECT_EQ(AddBackslash("/"), "/");
    EXPECT_EQ(AddBackslash("/usr"), "/usr/");
    EXPECT_EQ(AddBackslash("/usr/"), "/usr/");
    EXPECT_EQ(AddBackslash("usr\\"), "usr\\/");
}

TEST(DirExists, OnlyForDirectories)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("file");
    writeFile(file, {1});
    ASSERT_TRUE(QFile::link(dir.path(), dir.filePath("link")));

    EXPECT_TRUE(DirExists(dir.path()));
    EXPECT_TRUE(DirExists(dir.path() + "/"));
    EXPECT_TRUE(DirExists(dir.filePath("link")));
    EXPECT_FALSE(DirExists(file));
    EXPECT_FALSE(DirExists(dir.filePath("missing")));
    EXPECT_FALSE(DirExists(""));
}

TEST(GetWinTempPath, TmpDirElseTmp)
{
    EnvGuard env;
    env.unset("TMPDIR");
    EXPECT_EQ(GetWinTempPath(), "/tmp/");
    env.set("TMPDIR", "");
    EXPECT_EQ(GetWinTempPath(), "/tmp/");
    env.set("TMPDIR", "/no/such/place");
    EXPECT_EQ(GetWinTempPath(), "/no/such/place/");
    env.set("TMPDIR", "/var/tmp/");
    EXPECT_EQ(GetWinTempPath(), "/var/tmp/");
}

TEST(GetTempFolder, TakesTheFirstExistingCandidate)
{
    QTemporaryDir tmp;
    QTemporaryDir temp;
    QTemporaryDir tmpdir;
    ASSERT_TRUE(tmp.isValid() && temp.isValid() && tmpdir.isValid());
    const QString missing = tmp.filePath("missing");
    EnvGuard env;
    env.set("TMP", tmp.path());
    env.set("TEMP", temp.path());
    env.set("TMPDIR", tmpdir.path());
    EXPECT_EQ(GetTempFolder(), tmp.path() + "/");

    env.set("TMP", missing);
    EXPECT_EQ(GetTempFolder(), temp.path() + "/");
    env.unset("TMP");
    EXPECT_EQ(GetTempFolder(), temp.path() + "/");

    env.set("TEMP", "");
    EXPECT_EQ(GetTempFolder(), tmpdir.path() + "/");

    // A file is no folder.
    writeFile(tmp.filePath("file"), {1});
    env.set("TMP", tmp.filePath("file"));
    env.set("TEMP", tmp.filePath("file"));
    EXPECT_EQ(GetTempFolder(), tmpdir.path() + "/");
}

TEST(GetTempFolder, MakesARelativeFolderAbsolute)
{
    EnvGuard env;
    env.set("TMP", ".");
    EXPECT_EQ(GetTempFolder(), AddBackslash(QDir::currentPath()));
    env.set("TMP", QDir::currentPath() + "/./");
    EXPECT_EQ(GetTempFolder(), AddBackslash(QDir::currentPath()));
}

TEST(GetTempFolder, FallsBackToTheProgramFolder)
{
    EnvGuard env;
    env.unset("TMP");
    env.unset("TEMP");
    env.set("TMPDIR", "/no/such/place");
    const QString folder = GetTempFolder();
    EXPECT_TRUE(folder.endsWith('/'));
    EXPECT_TRUE(QFileInfo(folder).isAbsolute());
    EXPECT_TRUE(QFileInfo::exists(folder + "pictorium_tests")) << folder.toStdString();
}

TEST(GetFileVersionString, ReadsTheFileVersionOfTheFirstTranslation)
{
    EXPECT_EQ(GetFileVersionString(kFixtures + "/groups32.dll"), "1.2.3.4");
    EXPECT_EQ(GetFileVersionString(kFixtures + "/groups64.dll"), "1.2.3.4");
    EXPECT_EQ(GetFileVersionString(kFixtures + "/noicons.dll"), "2.0 (Russian block)");
}

TEST(GetFileVersionString, EmptyWithoutAVersion)
{
    EXPECT_EQ(GetFileVersionString(kFixtures + "/icons/mixed.ico"), "");
    EXPECT_EQ(GetFileVersionString(kFixtures + "/system/shell32.dll"), "");  // no version resource
    EXPECT_EQ(GetFileVersionString(kFixtures + "/missing.dll"), "");
    EXPECT_EQ(GetFileVersionString(kFixtures), "");
    EXPECT_EQ(GetFileVersionString(""), "");
}

TEST(GetFileVersionString, ChoosesTheStringTableByTranslation)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto version = [&](const std::u16string& table, std::optional<ByteVec> translation) {
        const QString path = dir.filePath("module.dll");
        QFile::remove(path);
        writeFile(path, buildPe({{16, {}, 1, {}, 0x409, versionInfo(table, translation)}}).bytes);
        return GetFileVersionString(path);
    };
    const ByteVec german = {0x07, 0x04, 0xB0, 0x04};  // 0x407, code page 1200

    EXPECT_EQ(version(u"040704B0", german), "7.7");
    EXPECT_EQ(version(u"040704b0", german), "7.7");
    EXPECT_EQ(version(u"040904E4", german), "");  // the named table is missing
    // Without a usable translation the US English, Western table is asked.
    EXPECT_EQ(version(u"040904E4", std::nullopt), "7.7");
    EXPECT_EQ(version(u"040904E4", ByteVec {0x07, 0x04}), "7.7");
    EXPECT_EQ(version(u"040704B0", ByteVec {0x07, 0x04}), "");
    // Only the first of several translations counts.
    EXPECT_EQ(version(u"040704B0", ByteVec {0x07, 0x04, 0xB0, 0x04, 0x09, 0x04, 0xE4, 0x04}), "7.7");
}
