// The help viewer: the formats it reads, and the built help files opened
// through it and through an independent reader.
#include "platform/HelpViewer.h"

#include "platform/DynamicLibrary.h"
#include "platform/MessageBoxes.h"

#include "HangGuard.h"
#include "RightClicks.h"
#include "TestApplication.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

using platform::SitemapEntry;

namespace {

const QString kBuildDir = QStringLiteral(HELP_FILE_DIR);
const QString kHelpFile = kBuildDir + QStringLiteral("/english.chm");

std::vector<SitemapEntry> parse(const char* text) { return platform::parseSitemap(QByteArray(text)); }

const char16_t* text(const QString& s) { return reinterpret_cast<const char16_t*>(s.utf16()); }

// Every help project of the source tree, by language.
QStringList helpLanguages()
{
    QStringList languages;
    for (const QString& dir :
         QDir(QStringLiteral(SOURCE_DIR "/help")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (QFile::exists(QStringLiteral(SOURCE_DIR "/help/") + dir + u'/' + dir + QStringLiteral(".hhp")))
            languages << dir;
    return languages;
}

class Viewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApplication();
        library = platform::openLibrary(QStringLiteral("libchm.so.1"));
        ASSERT_NE(library, nullptr) << "libchm1 is not installed";
        entry = platform::htmlHelpEntry(library);
        ASSERT_NE(entry, nullptr);
    }
    void TearDown() override
    {
        platform::HtmlHelpW(nullptr, nullptr, platform::CloseAll, 0);
        platform::unbindChmLibrary();
        platform::closeLibrary(library);
    }
    platform::HelpViewer* show(const QString& address, unsigned command = platform::DisplayTopic)
    {
        return static_cast<platform::HelpViewer*>(entry(nullptr, text(address), command, 0));
    }

    platform::LibraryHandle library = nullptr;
    platform::HtmlHelpProc entry = nullptr;
};

}  // namespace

TEST(HelpSitemap, ListsTopicsWithTheirLevels)
{
    const auto entries = parse(R"(<HTML><BODY>
<OBJECT type="text/site properties"><param name="Name" value="not a topic"></OBJECT>
<UL>
  <LI><OBJECT type="text/sitemap"><param name="Name" value="Top &amp; more"><param name="Local" value="index.htm"></OBJECT>
  <UL>
    <li><object TYPE="Text/Sitemap"><PARAM NAME="local" VALUE='child.htm#a'><param name=name value=Child></object>
    <!-- <LI><OBJECT type="text/sitemap"><param name="Name" value="commented out"></OBJECT> -->
    <UL><UL><UL>
      <LI><OBJECT type="text/sitemap"><param name="Name" value="deep"></OBJECT>
    </UL></UL></UL>
  </UL>
  <LI><OBJECT type="text/sitemap"><param name="Name" value="&#272;&#x44f; &bogus;"><param name="Local" value="a.htm"><param name="Local" value="b.htm"></OBJECT>
</UL></BODY></HTML>)");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, QStringLiteral("Top & more"));
    EXPECT_EQ(entries[0].local, QStringLiteral("index.htm"));
    EXPECT_EQ(entries[0].level, 0);
    EXPECT_EQ(entries[1].name, QStringLiteral("Child"));
    EXPECT_EQ(entries[1].local, QStringLiteral("child.htm#a"));
    EXPECT_EQ(entries[1].level, 1);
    EXPECT_EQ(entries[2].name, QStringLiteral("deep"));
    EXPECT_EQ(entries[2].level, 2);  // never deeper than one below what precedes it
    EXPECT_EQ(entries[3].name, QString::fromUtf8("Đя &bogus;"));
    EXPECT_EQ(entries[3].local, QStringLiteral("a.htm"));  // the first page named
    EXPECT_EQ(entries[3].level, 0);
}

TEST(HelpSitemap, BrokenInputGivesWhatCanBeRead)
{
    EXPECT_TRUE(parse("").empty());
    EXPECT_TRUE(parse("<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"x\">").empty());
    EXPECT_TRUE(parse("<UL><LI><OBJECT type=\"text/sitemap\"></OBJECT>").empty());  // nothing named
    EXPECT_TRUE(parse("<!-- <UL>").empty());
    EXPECT_EQ(
        parse("</UL></UL><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"x\"></OBJECT>").size(),
        1u);
    // Not UTF-8: read as Latin-1.
    const auto latin = platform::parseSitemap(
        QByteArray("<OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"caf\xe9\"></OBJECT>"));
    ASSERT_EQ(latin.size(), 1u);
    EXPECT_EQ(latin[0].name, QString::fromUtf8("café"));
}

TEST(HelpSitemap, TopicAddresses)
{
    struct Case {
        const char* address;
        const char* file;
        const char* page;
        const char* anchor;
    };
    const Case cases[] = {
        {"/P/english.chm::/export.htm", "/P/english.chm", "/export.htm", ""},
        {"/P/english.chm::/page.htm#part", "/P/english.chm", "/page.htm", "part"},
        {"/P/english.chm::page.htm", "/P/english.chm", "/page.htm", ""},
        {"/P/english.chm", "/P/english.chm", "", ""},
        {"/P/english.chm::/", "/P/english.chm", "/", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        const platform::TopicAddress topic = platform::parseTopicAddress(QString::fromUtf8(c.address));
        EXPECT_EQ(topic.file, QString::fromUtf8(c.file)) << c.address;
        EXPECT_EQ(topic.page, QString::fromUtf8(c.page)) << c.address;
        EXPECT_EQ(topic.anchor, QString::fromUtf8(c.anchor)) << c.address;
    }
}

TEST(HelpSitemap, SystemRecord)
{
    QByteArray record("\x03\x00\x00\x00", 4);
    auto add = [&](uint16_t code, const QByteArray& value) {
        const QByteArray data = value + '\0';
        record += char(code & 0xFF);
        record += char(code >> 8);
        record += char(data.size() & 0xFF);
        record += char(data.size() >> 8);
        record += data;
    };
    add(0, "english.hhc");
    add(9, "ignored");
    add(3, "Pictorium Help");
    add(2, "index.htm");
    const platform::ChmSystemInfo info = platform::parseChmSystem(record);
    EXPECT_EQ(info.contentsFile, QStringLiteral("english.hhc"));
    EXPECT_EQ(info.title, QStringLiteral("Pictorium Help"));
    EXPECT_EQ(info.defaultTopic, QStringLiteral("index.htm"));
    EXPECT_TRUE(info.indexFile.isEmpty());

    // A record whose length runs past the end stops the reading there.
    QByteArray truncated = record.left(4);
    truncated += QByteArray("\x01\x00\xff\x00short", 9);
    EXPECT_TRUE(platform::parseChmSystem(truncated).indexFile.isEmpty());
    EXPECT_TRUE(platform::parseChmSystem(QByteArray("\x01", 1)).title.isEmpty());
}

TEST_F(Viewer, TheTopicsOfTheProgramAreInTheHelpFile)
{
    platform::HelpViewer* viewer = show(kHelpFile + QStringLiteral("::/export.htm"));
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->currentPage(), QStringLiteral("/export.htm"));
    EXPECT_TRUE(viewer->browser()->toPlainText().contains(QStringLiteral("dBASE Export")));
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_FALSE(viewer->testAttribute(Qt::WA_QuitOnClose));  // the main window's close ends the program

    // The same file raises the same window.
    EXPECT_EQ(show(kHelpFile + QStringLiteral("::/printing-icons.htm")), viewer);
    EXPECT_EQ(viewer->currentPage(), QStringLiteral("/printing-icons.htm"));
    EXPECT_TRUE(viewer->browser()->toPlainText().contains(QStringLiteral("Fit to page")));
    EXPECT_EQ(platform::helpViewers().size(), 1);

    // Back and forward.
    viewer->browser()->backward();
    EXPECT_EQ(viewer->currentPage(), QStringLiteral("/export.htm"));
    viewer->browser()->forward();
    EXPECT_EQ(viewer->currentPage(), QStringLiteral("/printing-icons.htm"));

    // The contents: the default page.
    EXPECT_EQ(show(kHelpFile, platform::DisplayContents), viewer);
    EXPECT_EQ(viewer->currentPage(), QStringLiteral("/index.htm"));
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Pictorium Help"));
}

TEST_F(Viewer, ContentsAndIndexLeadToPagesOfTheFile)
{
    platform::HelpViewer* viewer = show(kHelpFile, platform::DisplayContents);
    ASSERT_NE(viewer, nullptr);
    ASSERT_FALSE(viewer->contentsEntries().empty());
    ASSERT_FALSE(viewer->indexEntries().empty());
    EXPECT_EQ(viewer->indexList()->count(), static_cast<int>(viewer->indexEntries().size()));
    for (const auto* entries : {&viewer->contentsEntries(), &viewer->indexEntries()})
        for (const SitemapEntry& e : *entries) {
            const QString page = u'/' + e.local.section(u'#', 0, 0);
            EXPECT_TRUE(viewer->archive().contains(page))
                << e.name.toStdString() << " -> " << e.local.toStdString();
        }

    // A click in the tree shows its page; the index search selects a keyword.
    QTreeWidgetItem* item = viewer->contentsTree()->topLevelItem(0)->child(0);
    ASSERT_NE(item, nullptr);
    Q_EMIT viewer->contentsTree()->itemClicked(item, 0);
    EXPECT_EQ(viewer->currentPage(), QStringLiteral("/opening.htm"));
    // The tree marks the topic shown, however it was reached.
    viewer->showPage(QStringLiteral("/export.htm"), QStringLiteral("pdf"));
    ASSERT_NE(viewer->contentsTree()->currentItem(), nullptr);
    EXPECT_EQ(viewer->contentsTree()->currentItem()->text(0), QStringLiteral("PDF Export"));
    viewer->showPage(QStringLiteral("/export.htm"));
    EXPECT_EQ(viewer->contentsTree()->currentItem()->text(0),
              QStringLiteral("Exporting to HTML, dBASE and PDF"));
    viewer->indexSearch()->setText(QStringLiteral("prin"));
    ASSERT_NE(viewer->indexList()->currentItem(), nullptr);
    EXPECT_EQ(viewer->indexList()->currentItem()->text(), QStringLiteral("Printing"));
    Q_EMIT viewer->indexSearch()->returnPressed();
    EXPECT_EQ(viewer->currentPage(), QStringLiteral("/printing-icons.htm"));
    EXPECT_FALSE(viewer->browser()
                     ->loadResource(QTextDocument::StyleSheetResource, QUrl("style.css"))
                     .toString()
                     .isEmpty());
}

TEST_F(Viewer, WhatCannotBeShownShowsNothing)
{
    auto boxes = std::make_shared<platform::ScriptedMessageBoxes>();
    platform::setMessageBoxes(boxes);
    // A missing file was reported when it was chosen as the help file.
    EXPECT_EQ(show(QStringLiteral("/nonexistent/english.chm"), platform::DisplayContents), nullptr);
    EXPECT_TRUE(boxes->shown.empty());
    // One that is there but cannot be read is reported now.
    EXPECT_EQ(show(QStringLiteral(SOURCE_DIR "/CMakeLists.txt::/index.htm")), nullptr);
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].type, platform::MsgType::Error);
    EXPECT_EQ(boxes->shown[0].text,
              QStringLiteral("Unable to load the file:\r\n" SOURCE_DIR "/CMakeLists.txt"));
    platform::setMessageBoxes(nullptr);
    EXPECT_EQ(entry(nullptr, text(kHelpFile), 7, 0), nullptr);
    EXPECT_TRUE(platform::helpViewers().isEmpty());
    // A page the file lacks: the window opens and says so.
    platform::HelpViewer* viewer = show(kHelpFile + QStringLiteral("::/missing.htm"));
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->browser()->toPlainText().contains(QStringLiteral("/missing.htm")));
}

TEST_F(Viewer, NoRightClickCanHideTheBar)
{
    platform::HelpViewer* viewer = show(kHelpFile, platform::DisplayContents);
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer, kHangGuard));
    auto* bar = viewer->findChild<QToolBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(fixture::MenusOpenedByRightClicks(bar), 0);
    EXPECT_TRUE(bar->isVisible());
}

TEST(HelpFiles, AnIndependentReaderExtractsEveryPage)
{
    const QStringList languages = helpLanguages();
    ASSERT_TRUE(languages.contains(QStringLiteral("english")));
    for (const QString& language : languages) {
        const QString chm = kBuildDir + u'/' + language + QStringLiteral(".chm");
        ASSERT_TRUE(QFile::exists(chm)) << chm.toStdString();
        QTemporaryDir out;
        QProcess reader;
        reader.start(QStringLiteral("extract_chmLib"), {chm, out.path()});
        ASSERT_TRUE(reader.waitForFinished(kHangGuard));
        ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
        const QDir source(QStringLiteral(SOURCE_DIR "/help/") + language);
        int pages = 0;
        for (const QString& name : source.entryList({"*.htm", "*.css", "*.png"}, QDir::Files)) {
            QFile original(source.filePath(name));
            QFile extracted(out.filePath(name));
            ASSERT_TRUE(original.open(QIODevice::ReadOnly) && extracted.open(QIODevice::ReadOnly))
                << language.toStdString() << ": " << name.toStdString();
            EXPECT_EQ(original.readAll(), extracted.readAll()) << name.toStdString();
            ++pages;
        }
        EXPECT_GT(pages, 10) << language.toStdString();
    }
}
