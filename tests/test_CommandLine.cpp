// The command line as data: switches, file names and the export they make.
#include "app/CommandLine.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

// The parsed line in one text: the set flags, the texts, the index and the
// file names.
std::string parsed(const TCommandLine& c)
{
    QStringList out;
    const std::pair<const char*, bool> flags[] = {
        {"export", c.Export},          {"close", c.CloseWhenDone}, {"open", c.OpenDestination},
        {"allasone", c.AllAsOne},      {"small", c.SmallIcons},    {"gray", c.GrayScale},
        {"numbers", c.IncludeNumbers}, {"borders", c.DrawBorders},
    };
    for (const auto& [name, set] : flags)
        if (set)
            out << QString::fromLatin1(name);
    if (!c.DBFFieldName.isEmpty())
        out << "field=" + c.DBFFieldName;
    if (!c.DBFDestType.isEmpty())
        out << "dbftype=" + c.DBFDestType;
    if (!c.HTMLDestImageType.isEmpty())
        out << "htmltype=" + c.HTMLDestImageType;
    if (!c.DestType.isEmpty())
        out << "type=" + c.DestType;
    out << "index=" + QString::number(c.IconIndex);
    out << "src=<" + c.Source() + ">";
    if (c.Export)
        out << "dest=<" + c.Dest() + ">";
    if (!c.Errors.isEmpty())
        out << "errors=" + QString::number(c.Errors.size());
    return out.join(' ').toStdString();
}

// What the export does with it.
std::string planned(const TExportPlan& p)
{
    static const char* actions[] = {"SaveIcon", "SaveAllAsOne", "SaveAll"};
    QStringList out {QString::fromLatin1(actions[p.Action]), "file=" + QString::number(p.FileType),
                     "type=" + p.DestType};
    if (p.Action == TExportPlan::SaveOneIcon)
        out << "index=" + QString::number(p.IconIndex);
    if (p.Action == TExportPlan::SaveEveryIcon) {
        out << "dir=" + p.DestDir << "ext=" + p.DestExt;
        if (p.MakeDestFolder)
            out << "mkdir";
        if (p.FileType == 12)
            out << "dbf=" + QString::number(p.DBFType);
        if (p.FileType == 11)
            out << "html=" + QString::number(p.TargetImageType);
    }
    out << "open=" + p.OpenFile;
    return out.join(' ').toStdString();
}

struct Case {
    const char* what;
    QStringList params;
    const char* parsed;
    const char* planned;  // nullptr without export
};

}  // namespace

TEST(CommandLine, SwitchesFileNamesAndTheExportTheyMake)
{
    QStringList many;
    for (int i = 1; i <= 24; ++i)
        many << QString("p%1").arg(i);
    many << "-closewhendone";

    const Case cases[] = {
        {"slash and upper case, no extension",
         {"/E", "/s/a.dll", "/o/out"},
         "export index=1 src=</s/a.dll> dest=</o/out>",
         "SaveIcon file=0 type=ICO index=1 open=/o/out.ico"},
        {"a .png destination, nothing else",
         {"-export", "/s/a.dll", "/o/x.png"},
         "export index=1 src=</s/a.dll> dest=</o/x.png>",
         "SaveIcon file=5 type=PNG index=1 open=/o/x.png"},
        {"index 0 and png into a folder",
         {"-e", "/s/a.dll", "/o/dir", "-iconindex=0", "-desttype=png"},
         "export type=PNG index=0 src=</s/a.dll> dest=</o/dir>",
         "SaveAll file=5 type=PNG dir=/o/dir ext=.png mkdir open="},
        {"all as one picture with .ico",
         {"-e", "/s/a.dll", "/o/all.ico", "-AllIconsAsOneImage"},
         "export allasone index=1 src=</s/a.dll> dest=</o/all.ico>",
         "SaveAllAsOne file=1 type=ICO open=/o/all.ico"},
        {"all as one picture without extension",
         {"-e", "/s/a.dll", "/o/all", "-alliconsasoneimage"},
         "export allasone index=1 src=</s/a.dll> dest=</o/all>",
         "SaveAllAsOne file=1 type=ICO open=/o/all.bmp"},
        {".html with gif pictures",
         {"-e", "/s/a.dll", "/o/page.html", "-htmldestimagetype= gif "},
         "export htmltype=GIF index=1 src=</s/a.dll> dest=</o/page.html>",
         "SaveAll file=11 type=HTML dir=/o/page_files ext=.html html=2 open=/o/page.html"},
        // The type is read without case; the names keep the case given.
        {"a page in upper case",
         {"-e", "/s/a.dll", "/o/Page.HTML"},
         "export index=1 src=</s/a.dll> dest=</o/Page.HTML>",
         "SaveAll file=11 type=HTML dir=/o/Page_FILES ext=.HTML html=0 open=/o/Page.HTML"},
        {"a table in upper case",
         {"-e", "/s/a.dll", "/o/T.DBF", "-desttype=dbase"},
         "export type=DBASE index=1 src=</s/a.dll> dest=</o/T.DBF>",
         "SaveAll file=12 type=DBF dir=/o/ ext=.DBF dbf=0 open=/o/T.DBF"},
        {"a page named .pdf",
         {"-e", "/s/a.dll", "/o/x.pdf", "-desttype=HTM"},
         "export type=HTM index=1 src=</s/a.dll> dest=</o/x.pdf>",
         "SaveAll file=11 type=HTM dir=/o/x_files ext=.htm html=0 open=/o/x.htm"},
        {"a 14-character field name",
         {"-e", "/s/a.dll", "/o/t.dbf", "-dbasefieldname= IconsAndMore14 ", "-dbasedesttype=jpg"},
         "export field=IconsAndMo dbftype=JPG index=1 src=</s/a.dll> dest=</o/t.dbf>",
         "SaveAll file=12 type=DBF dir=/o/ ext=.dbf dbf=2 open=/o/t.dbf"},
        {"dBASE by type, metafile data",
         {"-e", "/s/a.dll", "/o/t", "-desttype=dBase", "-dbasedesttype=METAFILE"},
         "export dbftype=METAFILE type=DBASE index=1 src=</s/a.dll> dest=</o/t>",
         "SaveAll file=12 type=DBF dir=/o/ ext=.dbf dbf=3 open=/o/t.dbf"},
        {"mixed-case desttype",
         {"-e", "/s/a.dll", "/o/dir", "-DestType=Jpg", "-IconIndex=0"},
         "export type=JPG index=0 src=</s/a.dll> dest=</o/dir>",
         "SaveAll file=2 type=JPG dir=/o/dir ext=.jpg mkdir open="},
        {"wmf",
         {"-e", "/s/a.dll", "/o/dir", "-desttype=wmf", "-iconindex=0"},
         "export type=WMF index=0 src=</s/a.dll> dest=</o/dir>",
         "SaveAll file=3 type=WMF dir=/o/dir ext=.wmf mkdir open="},
        {"synonyms that name another extension",
         {"-e", "/s/a.dll", "/o/dir", "-desttype=bitmap", "-iconindex=0"},
         "export type=BITMAP index=0 src=</s/a.dll> dest=</o/dir>",
         "SaveAll file=1 type=BMP dir=/o/dir ext=.bmp mkdir open="},
        {"a PDF document and every flag",
         {"-e", "/s/a.dll", "/o/d.pdf", "-closewhendone", "-opendestination", "-iconsizesmall", "-grayscale",
          "-includenumbers", "-drawborders", "-iconindex=2"},
         "export close open small gray numbers borders index=2 src=</s/a.dll> dest=</o/d.pdf>",
         "SaveAll file=13 type=PDF dir=/o/ ext=.pdf open=/o/d.pdf"},
        // The saved file's own extension, whatever the type's spelling.
        {"jpeg without extension",
         {"-e", "/s/a.dll", "/o/x", "-desttype=Jpeg"},
         "export type=JPEG index=1 src=</s/a.dll> dest=</o/x>",
         "SaveIcon file=2 type=JPEG index=1 open=/o/x.jpg"},
        {"index: not an integer, then the first integer",
         {"-e", "/s/a.dll", "/o/x.gif", "-iconindex=two", "-iconindex=3", "-iconindex=4"},
         "export index=3 src=</s/a.dll> dest=</o/x.gif> errors=1",
         "SaveIcon file=4 type=GIF index=3 open=/o/x.gif"},
        // A negative number is the first icon; only -1 counts as not given.
        {"index: negative",
         {"-e", "/s/a.dll", "/o/x.gif", "-iconindex=-5", "-iconindex=3"},
         "export index=1 src=</s/a.dll> dest=</o/x.gif>",
         "SaveIcon file=4 type=GIF index=1 open=/o/x.gif"},
        {"index: -1, then the next",
         {"-e", "/s/a.dll", "/o/x.gif", "-iconindex=-1", "-iconindex=3"},
         "export index=3 src=</s/a.dll> dest=</o/x.gif>",
         "SaveIcon file=4 type=GIF index=3 open=/o/x.gif"},
        {"index: with a plus sign",
         {"-e", "/s/a.dll", "/o/x.gif", "-iconindex=+3"},
         "export index=3 src=</s/a.dll> dest=</o/x.gif>",
         "SaveIcon file=4 type=GIF index=3 open=/o/x.gif"},
        {"values: the first non-empty one",
         {"-e", "-desttype=", "-desttype=gif", "-desttype=png", "/s/a.dll", "/o/x"},
         "export type=GIF index=1 src=</s/a.dll> dest=</o/x>",
         "SaveIcon file=4 type=GIF index=1 open=/o/x.gif"},
        {"an unknown type and an unknown switch",
         {"-e", "-nonsense", "/s/a.dll", "/o/x.txt"},
         "export index=1 src=</s/a.dll> dest=</o/x.txt>",
         "SaveIcon file=0 type=ICO index=1 open=/o/x.txt"},
        {"\"=\" among the first two characters lower-cases all",
         {"-E", "-=ABC", "/s/a.dll", "/o/x.png"},
         "export index=1 src=</s/a.dll> dest=</o/x.png>",
         "SaveIcon file=5 type=PNG index=1 open=/o/x.png"},
        {"more than 24 parameters", many,
         "index=1 src=<p1 p2 p3 p4 p5 p6 p7 p8 p9 p10 p11 p12 p13 p14 p15 p16 p17 p18 p19 p20 p21 p22 p23 "
         "p24>",
         nullptr},
        {"an unquoted path with blanks",
         {"/s/My", "Icons/a", "b.dll"},
         "index=1 src=</s/My Icons/a b.dll>",
         nullptr},
        {"switches go into the joined path too",
         {"/s/a.dll", "-iconindex=3"},
         "index=3 src=</s/a.dll -iconindex=3>",
         nullptr},
        {"an empty parameter is a file name",
         {"-e", "", "/o/x.png"},
         "export index=1 src=<> dest=</o/x.png>",
         "SaveIcon file=5 type=PNG index=1 open=/o/x.png"},
        // A path that exists, or that names no switch, is a file name.
        {"slash switches and paths",
         {"/export", "/e", "/desttype=png", "/s/a.dll", "/o/x", "/iconindex"},
         "export type=PNG index=1 src=</e> dest=</s/a.dll>",
         "SaveIcon file=5 type=PNG index=1 open=/s/a.dll"},
    };
    const QSet<QString> existing {"/e", "/s/a.dll"};
    const auto exists = [&](const QString& path) { return existing.contains(path); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TCommandLine line = TCommandLine::Parse(c.params, exists);
        EXPECT_EQ(parsed(line), c.parsed);
        if (c.planned) {
            EXPECT_EQ(planned(PlanExport(line, line.Dest())), c.planned);
        }
    }
}

TEST(CommandLine, ValuesThatDoNotParseAreRefused)
{
    const auto exists = [](const QString&) { return false; };
    // Each bad value is named in its message; good ones give none.
    const struct {
        const char* value;
        bool refused;
    } cases[] = {
        {"-iconindex=abc", true}, {"-iconindex=0x1", true},   {"-iconindex=99999999999", true},
        {"-iconindex=1.5", true}, {"-iconindex=-", true},     {"-iconindex=+-3", true},
        {"-iconindex=- 3", true}, {"-desttype=xyz", true},    {"/DESTTYPE=Tiff", true},
        {"-iconindex=0", false},  {"-iconindex= 12 ", false}, {"-iconindex=", false},
        {"-iconindex=-3", false}, {"-iconindex=-1", false},   {"-iconindex=+3", false},
        {"-desttype=Jpg", false}, {"-desttype=", false},      {"-desttype=ico", false},
    };
    const auto expect = [&](const QString& param, bool refused) {
        SCOPED_TRACE(param.toStdString());
        const TCommandLine line = TCommandLine::Parse({"-e", "/s/a.dll", "/o/x", param}, exists);
        ASSERT_EQ(line.Errors.size(), refused ? 1 : 0);
        if (refused) {
            const QString value = param.section(u'=', 1);
            EXPECT_TRUE(line.Errors[0].contains(value)) << line.Errors[0].toStdString();
        }
    };
    for (const auto& c : cases)
        expect(QString::fromLatin1(c.value), c.refused);

    // The picture types of a page and of a table are names, of the pictures
    // each can hold.
    const struct {
        const char* name;
        QStringList refused;
        QStringList taken;
    } types[] = {
        {"-htmldestimagetype=", {"bogus", "Bmp", "1", "ico"}, {"", "png", "Jpeg", "jpg", " gif "}},
        {"/DBASEDESTTYPE=",
         {"bogus", "5", "htm", "Tiff"},
         {"", "ico", "Icon", "bmp", "Bitmap", "jpeg", "jpg", "emf", "wmf", "Metafile", "gif", "png"}},
    };
    for (const auto& t : types) {
        for (const QString& value : t.refused)
            expect(t.name + value, true);
        for (const QString& value : t.taken)
            expect(t.name + value, false);
    }
}

TEST(CommandLine, TypeTextsAndTheirCodes)
{
    struct Row {
        const char* type;
        int dbf, html, file;
        const char* rewritten;
    };
    const Row rows[] = {
        {"BMP", 1, 0, 1, "BMP"},      {"BITMAP", 1, 0, 1, "BMP"}, {"JPEG", 2, 1, 2, "JPEG"},
        {"JPG", 2, 1, 2, "JPG"},      {"EMF", 3, 0, 3, "EMF"},    {"WMF", 3, 0, 3, "WMF"},
        {"METAFILE", 3, 0, 3, "EMF"}, {"GIF", 4, 2, 4, "GIF"},    {"PNG", 5, 0, 5, "PNG"},
        {"HTM", 0, 0, 11, "HTM"},     {"HTML", 0, 0, 11, "HTML"}, {"DBF", 0, 0, 12, "DBF"},
        {"DBASE", 0, 0, 12, "DBF"},   {"PDF", 0, 0, 13, "PDF"},   {"ICO", 0, 0, 0, "ICO"},
        {"", 0, 0, 0, "ICO"},         {"png", 0, 0, 0, "ICO"},    {"TIFF", 0, 0, 0, "ICO"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.type);
        QString t = QString::fromLatin1(r.type);
        EXPECT_EQ(DBFTypeOf(t), r.dbf);
        EXPECT_EQ(TargetImageTypeOf(t), r.html);
        EXPECT_EQ(FileTypeOf(t), r.file);
        EXPECT_EQ(t, QString::fromLatin1(r.rewritten));
    }
}

TEST(CommandLine, RelativePathsAreTakenFromTheStartFolder)
{
    EXPECT_EQ(ResolvePath("/start", "a.dll"), "/start/a.dll");
    EXPECT_EQ(ResolvePath("/start", "../out/x.png"), "/start/../out/x.png");
    EXPECT_EQ(ResolvePath("/start", "/abs/a.dll"), "/abs/a.dll");
    EXPECT_EQ(ResolvePath("/start", ""), "");
    // A relative PDF destination: its folder is the start folder, not "/".
    const TCommandLine line
        = TCommandLine::Parse({"-e", "a.dll", "d.pdf"}, [](const QString&) { return false; });
    EXPECT_EQ(PlanExport(line, ResolvePath("/start", line.Dest())).OpenFile, "/start/d.pdf");
}
