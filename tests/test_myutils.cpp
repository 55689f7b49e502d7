#include "app/myutils.h"

#include "app/Unit1.h"

#include "HangGuard.h"
#include "PeBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace platform;
using namespace fixture;

namespace {

// Every text number the program fetches, with the marker of the one
// argument it is formatted with, if any.
struct UsedText {
    int32_t id;
    const char* marker = nullptr;
};

constexpr UsedText kUsedTexts[] = {
    {1},         {2},   {3},         {4},         {101}, {102},       {103}, {104}, {105}, {106},
    {107},       {108}, {109},       {110},       {111}, {117, "%s"}, {151}, {201}, {203}, {204},
    {205, "%d"}, {206}, {261, "%s"}, {262, "%s"}, {301}, {302},       {303}, {304}, {305}, {306},
    {307},       {308}, {309},       {310},       {311}, {312},       {313}, {314}, {315}, {316},
    {401},       {402}, {403},       {404},       {405}, {406},       {407}, {501}, {502}, {503},
    {551},       {601}, {602, "%d"}, {603, "%d"}, {604}, {605, "%s"}, {606}, {607}, {608}, {609, "%s"},
    {610},       {611}, {612},       {613},       {614}, {615, "%s"}, {701}, {703}, {704}, {705},
    {706},       {707}, {708},       {709},       {710}, {801},       {802}, {803}, {804}, {805},
    {807},       {900}, {901},       {902},       {903}, {904},       {905}, {906}, {921}, {922},
    {923},       {924}, {925},       {926},       {927}, {928},       {929}, {941}, {942}, {943},
    {961},       {962}, {963},       {964},       {965}, {50000},
};

// Makes a pack the loaded one for the length of a test.
class LoadedPack {
public:
    explicit LoadedPack(std::unique_ptr<PeModule> module) { LangModule = std::move(module); }
    ~LoadedPack() { LangModule.reset(); }
    LoadedPack(const LoadedPack&) = delete;
    LoadedPack& operator=(const LoadedPack&) = delete;
};

// One string block of 16 entries; the missing ones are empty.
ByteVec stringBlock(const std::vector<std::u16string>& texts)
{
    ByteVec block;
    for (size_t i = 0; i < 16; ++i) {
        const std::u16string text = i < texts.size() ? texts[i] : std::u16string();
        block.push_back(static_cast<uint8_t>(text.size()));
        block.push_back(static_cast<uint8_t>(text.size() >> 8));
        for (char16_t c : text) {
            block.push_back(static_cast<uint8_t>(c));
            block.push_back(static_cast<uint8_t>(c >> 8));
        }
    }
    return block;
}

// The default extension the save dialog takes from a filter: what lies
// between the first "." and the first ")" after the index-th "(".
QString defaultExtension(QString filter, int index)
{
    for (int i = 0; i < index; ++i)
        filter = filter.mid(filter.indexOf(u'(') + 1);
    const qsizetype dot = filter.indexOf(u'.');
    return filter.mid(dot + 1, filter.indexOf(u')') - dot - 1);
}

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

}  // namespace

// Every pack of the language menu holds every used text and no other, with
// the markers of English, so that no argument is lost in any language.
TEST(GetUIText, EveryPackHoldsEveryUsedTextAndNoOther)
{
    const QString folder = QFileInfo(QStringLiteral(LANG_PACK)).absolutePath();
    // Text 1 of each pack shows that its script survives the build as UTF-16.
    const std::pair<const char*, QString> packs[] = {
        {"english", QStringLiteral("Cancel")},  {"ukrainian", QStringLiteral("Скасувати")},
        {"greek", QStringLiteral("Άκυρο")},     {"romanian", QStringLiteral("Anulare")},
        {"italian", QStringLiteral("Annulla")}, {"polish", QStringLiteral("Anuluj")},
    };
    for (const auto& [language, cancel] : packs) {
        SCOPED_TRACE(language);
        LoadedPack pack(PeModule::open(folder + "/" + language + ".lng"));
        ASSERT_TRUE(LangModule);
        EXPECT_EQ(GetUIText(1), cancel);
        for (const UsedText& used : kUsedTexts) {
            SCOPED_TRACE(used.id);
            const QString text = GetUIText(used.id);
            EXPECT_FALSE(text.isEmpty());
            const QRegularExpression marker(QStringLiteral("%[a-z%]"));
            QStringList markers;
            for (auto it = marker.globalMatch(text); it.hasNext();)
                markers << it.next().captured();
            EXPECT_EQ(markers, used.marker ? QStringList {QString::fromLatin1(used.marker)} : QStringList())
                << text.toStdString();
            EXPECT_LE(text.count(u'&'), 1) << text.toStdString();
        }
        EXPECT_EQ(GetUIText(50000), QString("5.1.0.2"));

        // A number outside the table is a typo in the pack or a text nobody uses.
        for (int32_t id = 0; id <= 0xFFFF; ++id) {
            if (GetUIText(id).isEmpty())
                continue;
            EXPECT_TRUE(std::any_of(std::begin(kUsedTexts), std::end(kUsedTexts),
                                    [id](const UsedText& u) { return u.id == id; }))
                << "unexpected text " << id;
        }
    }
}

// The pack is a 32-bit module whose string tables the icoutils see.
TEST(GetUIText, EnglishPackIsAPe32ModuleWithStringTables)
{
    const auto run = [](const QString& program, const QStringList& args) {
        QProcess process;
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(kHangGuard)) << program.toStdString();
        EXPECT_EQ(process.exitCode(), 0) << program.toStdString();
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    };
    const QString type = run("file", {"-b", LANG_PACK});
    EXPECT_TRUE(type.startsWith("PE32 ")) << type.toStdString();
    const QString listing = run("wrestool", {"-l", LANG_PACK});
    // Texts 1 and 50000 live in blocks 1 and 3126.
    EXPECT_TRUE(listing.contains("--type=6 --name=1 ")) << listing.toStdString();
    EXPECT_TRUE(listing.contains("--type=6 --name=3126 ")) << listing.toStdString();
}

TEST(GetUIText, EveryPacksFiltersGiveTheirDefaultExtensions)
{
    const QString folder = QFileInfo(QStringLiteral(LANG_PACK)).absolutePath();
    for (const char* language : {"english", "ukrainian", "greek", "romanian", "italian", "polish"}) {
        SCOPED_TRACE(language);
        LoadedPack pack(PeModule::open(folder + "/" + language + ".lng"));
        ASSERT_TRUE(LangModule);
        const struct {
            QString filter;
            QStringList extensions;  // by filter index, from 1
        } cases[] = {
            {GetUIText(803) + "|" + GetUIText(801), {"ico", "bmp", "jpg", "emf", "gif", "png"}},
            {GetUIText(801), {"bmp", "jpg", "emf", "gif", "png"}},
            {GetUIText(804), {"htm"}},
            {GetUIText(805), {"dbf"}},
            {GetUIText(807), {"pdf"}},
            {GetUIText(802), {"exe", "dll", "ocx", "*"}},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.filter.toStdString());
            // Description and pattern in pairs.
            EXPECT_EQ(c.filter.split(u'|').size(), 2 * c.extensions.size());
            for (int i = 0; i < c.extensions.size(); ++i)
                EXPECT_EQ(defaultExtension(c.filter, i + 1), c.extensions[i]) << i + 1;
        }
    }
}

TEST(GetUIText, EmptyWithoutPackOrNumber)
{
    ASSERT_FALSE(LangModule);
    for (const UsedText& used : kUsedTexts)
        EXPECT_EQ(GetUIText(used.id), QString()) << used.id;

    LoadedPack pack(PeModule::open(QStringLiteral(LANG_PACK)));
    ASSERT_TRUE(LangModule);
    for (int32_t id : {0, 5, 702, 806, 49999, 65535, -1, 65536 + 501})
        EXPECT_EQ(GetUIText(id), QString()) << id;
}

// A message is never empty: the English pack inside the program fills in
// what the loaded pack lacks, or every text when none is loaded.
TEST(GetMessageText, EnglishStandsInWhereThePackGivesNothing)
{
    ASSERT_FALSE(LangModule);
    std::unique_ptr<PeModule> english = PeModule::open(QStringLiteral(LANG_PACK));
    ASSERT_TRUE(english);
    for (int32_t id : {117, 602, 603, 604, 605, 606, 607, 608, 609, 610, 611, 612, 613, 615}) {
        EXPECT_EQ(GetMessageText(id), english->loadString(static_cast<uint32_t>(id)).value_or("-")) << id;
        EXPECT_EQ(GetBuiltInText(id), GetMessageText(id)) << id;
    }
    EXPECT_EQ(GetMessageText(702), QString()) << "no text in English either";

    // A pack's own text wins; one it lacks is English.
    // Block 38 holds the numbers 592 to 607.
    std::vector<std::u16string> texts(16);
    texts[602 - 592] = u"Gespeichert: %d";
    const ByteVec bytes = buildPe({{6, {}, 38, {}, 0x409, stringBlock(texts)}}).bytes;
    LoadedPack pack(PeModule::fromBytes(bytes));
    EXPECT_EQ(GetMessageText(602), "Gespeichert: %d");
    EXPECT_EQ(GetMessageText(605), english->loadString(605).value_or("-"));
    EXPECT_EQ(GetUIText(605), QString()) << "captions keep the empty text";
}

TEST(GetUIText, CutsAtZeroAndAfter1023CharactersKeepingPairsWhole)
{
    const std::u16string pair = u"\U0001F600";
    const std::u16string over(1100, u'x');
    const std::u16string pairAcrossCut = std::u16string(1022, u'y') + pair + u"z";
    const std::u16string pairAtEnd = std::u16string(1021, u'w') + pair;  // 1023 exactly
    const std::u16string zero = std::u16string(u"ab") + u'\0' + u"cd";
    const ByteVec bytes
        = buildPe({{6, {}, 1, {}, 0x409, stringBlock({over, pairAcrossCut, pairAtEnd, zero})}}).bytes;
    LoadedPack pack(PeModule::fromBytes(bytes));
    ASSERT_TRUE(LangModule);

    EXPECT_EQ(GetUIText(0), QString(1023, u'x'));
    EXPECT_EQ(GetUIText(1), QString(1022, u'y'));
    EXPECT_EQ(GetUIText(2), QString::fromStdU16String(pairAtEnd));
    EXPECT_EQ(GetUIText(3), QString("ab"));
    EXPECT_EQ(GetUIText(4), QString());
}

TEST(GetUIText, HostileStringBlockGivesEmptyText)
{
    // The first string is whole; the second claims more than the block
    // holds, and so every string after it is out of reach.
    const ByteVec block = {1, 0, 'a', 0, 0xFF, 0xFF, 'b', 0};
    const ByteVec bytes = buildPe({{6, {}, 1, {}, 0x409, block}}).bytes;
    LoadedPack pack(PeModule::fromBytes(bytes));
    ASSERT_TRUE(LangModule);
    EXPECT_EQ(GetUIText(0), QString("a"));
    for (int32_t id : {1, 2, 15, 16})
        EXPECT_EQ(GetUIText(id), QString()) << id;
}

TEST(FormatUIText, FillsOnlyItsOwnMarkers)
{
    const struct {
        const char* format;
        std::initializer_list<UITextArg> args;
        const char* expected;
    } cases[] = {
        {"Saved: %d", {7}, "Saved: 7"},
        {"File does not exist:\r\n%s", {QString("/a b/c.lng")}, "File does not exist:\r\n/a b/c.lng"},
        {"%d%s", {1, QString("b")}, "1b"},
        {"%s", {qint64 {1} << 40}, "1099511627776"},
        // An argument is not read for markers.
        {"[%s]", {QString("100%s %d %%")}, "[100%s %d %%]"},
        {"100%% of %s", {QString("x")}, "100% of x"},
        // Markers of other formatters stay as they are.
        {"%x %5s %-3d %0:s %n %p %1 %", {QString("unused")}, "%x %5s %-3d %0:s %n %p %1 %"},
        // A marker without an argument stays; surplus arguments are dropped.
        {"%s and %s", {QString("a")}, "a and %s"},
        {"no markers", {QString("extra")}, "no markers"},
        {"", {}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatUIText(QString::fromUtf8(c.format), c.args), QString::fromUtf8(c.expected))
            << c.format;
}

TEST(MakeUniqueFileName, FirstFreeNumberedName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString d = dir.path();
    touch(d + "/shell32.ico");
    touch(d + "/shell321.ico");
    touch(d + "/plain");
    touch(d + "/target.bmp");
    QDir(d).mkdir("folder.ico");
    QFile::link(d + "/target.bmp", d + "/linked.ico");
    QFile::link(d + "/missing.bmp", d + "/dangling.ico");

    const struct {
        QString dir, fileName, ext, expected;
    } cases[] = {
        {d, "/x/shell32.dll", "ico", "shell322"},
        {d + "/", "/x/shell32.dll", "ico", "shell322"},
        {d, "shell32.dll", "bmp", "shell32"},
        {d, "/x/a.b.dll", "ico", "a.b"},
        {d, "/x.y/noext", "ico", "noext"},
        // Anything of the name is taken: a folder, a link, a link to nothing.
        {d, "/x/folder.exe", "ico", "folder1"},
        {d, "/x/linked.exe", "ico", "linked1"},
        {d, "/x/dangling.exe", "ico", "dangling1"},
        {d, "/x/plain.txt", "", "plain1"},  // no extension: no dot either
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeUniqueFileName(c.dir, c.fileName, c.ext), c.expected)
            << c.dir.toStdString() << " " << c.fileName.toStdString() << " " << c.ext.toStdString();
}

TEST(FollowCase, LettersTakeTheCaseOfTheModelsLettersPlaceByPlace)
{
    const struct {
        const char* text;
        const char* model;
        const char* expected;
    } cases[] = {
        {".dbt", ".dbf", ".dbt"},    {".dbt", ".DBF", ".DBT"},     {".dbt", ".Dbf", ".Dbt"},
        {".dbt", ".dBF", ".dBT"},    {"_files", "HTML", "_FILES"}, {"_files", "html", "_files"},
        {"_files", "Htm", "_Files"}, {"_files", "hTmL", "_fIlES"}, {".dbt", "", ".dbt"},
        {".DBT", "123", ".DBT"},     {".dbt", ".7Z", ".DBT"},      {"_files", ".\xC3\x84x", "_Files"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FollowCase(QString::fromUtf8(c.text), QString::fromUtf8(c.model)),
                  QString::fromUtf8(c.expected))
            << c.text << " " << c.model;
}
