// The help binding (loaded once, late, silently absent) and the help
// topics of the current help file.
#include "kxCommon/kxHelpUtils.h"
#include "kxCommon/kxHtmlHelp.h"
#include "platform/ApplicationHelp.h"
#include "platform/ClassesRoot.h"
#include "platform/HelpViewer.h"

#include "TestApplication.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

const QString kHelpFile = QStringLiteral(HELP_FILE_DIR "/english.chm");

struct Call {
    QWidget* window;
    QString file;
    unsigned command;
};
std::vector<Call> g_calls;

QWidget* recordingEntry(QWidget* window, const char16_t* file, unsigned command, intptr_t)
{
    g_calls.push_back({window, file ? QString::fromUtf16(file) : QStringLiteral("<none>"), command});
    return nullptr;
}

const char16_t* text(const QString& s) { return reinterpret_cast<const char16_t*>(s.utf16()); }

class HtmlHelp : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApplication();
        kxHtmlHelp::UnloadHtmlHelp();
        kxHtmlHelp::Initialize();
        kxHtmlHelp::HHCtrlName = QStringLiteral("libchm.so.1");
        platform::applicationHelp() = {};
        g_calls.clear();
    }
    void TearDown() override
    {
        kxHtmlHelp::UnloadHtmlHelp();
        kxHtmlHelp::Initialize();
        kxHtmlHelp::HHCtrlName = QStringLiteral("libchm.so.1");
        platform::setClassesRoot(nullptr);
        platform::applicationHelp() = {};
    }
    // The entry replaced by a recorder, as though the control were loaded.
    static void record()
    {
        kxHtmlHelp::Tried = true;
        kxHtmlHelp::HtmlHelpEntry = &recordingEntry;
    }
};

}  // namespace

TEST_F(HtmlHelp, TopicsBecomeAddressesOfTheHelpFile)
{
    record();
    QWidget owner;
    platform::applicationHelp().handle = &owner;
    platform::applicationHelp().helpFile = QStringLiteral("/P/english.chm");
    struct Case {
        const char* topic;
        const char* file;
        unsigned command;
    };
    const Case cases[] = {
        {"export", "/P/english.chm::/export.htm", kxHtmlHelp::HH_DISPLAY_TOPIC},
        {"page|#part", "/P/english.chm::/page.htm#part", kxHtmlHelp::HH_DISPLAY_TOPIC},
        {"page|x|y", "/P/english.chm::/page.htmx|y", kxHtmlHelp::HH_DISPLAY_TOPIC},  // the anchor as given
        {"", "/P/english.chm", kxHtmlHelp::HH_DISPLAY_TOC},
        {"|#part", "/P/english.chm", kxHtmlHelp::HH_DISPLAY_TOC},  // no page: the contents
    };
    for (const Case& c : cases) {
        g_calls.clear();
        ShowHelpTopic(QString::fromUtf8(c.topic));
        ASSERT_EQ(g_calls.size(), 1u) << c.topic;
        EXPECT_EQ(g_calls[0].file, QString::fromUtf8(c.file)) << c.topic;
        EXPECT_EQ(g_calls[0].command, c.command) << c.topic;
        EXPECT_EQ(g_calls[0].window, &owner);
    }
}

TEST_F(HtmlHelp, TheHelpHookIsAskedFirstAndItsAnswerIgnored)
{
    record();
    std::vector<std::pair<uint16_t, intptr_t>> hooked;
    platform::applicationHelp().onHelp = [&](uint16_t command, intptr_t data, bool& callHelp) {
        hooked.emplace_back(command, data);
        callHelp = true;  // not taken: the topic shows all the same
        return false;
    };
    ShowHelpTopic(QStringLiteral("export"));
    ASSERT_EQ(hooked.size(), 1u);
    EXPECT_EQ(hooked[0], (std::pair<uint16_t, intptr_t> {0, 0}));
    EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(HtmlHelp, ClosingAllNeverLoadsTheControl)
{
    platform::applicationHelp().helpFile = kHelpFile;
    CloseAllHelp();
    EXPECT_FALSE(kxHtmlHelp::Tried);
    EXPECT_EQ(kxHtmlHelp::HelpModule, nullptr);
    EXPECT_EQ(kxHtmlHelp::InvokeHtmlHelp(nullptr, nullptr, kxHtmlHelp::HH_CLOSE_ALL, 0), nullptr);
    EXPECT_FALSE(kxHtmlHelp::Tried);

    // Once loaded, closing reaches the control, unless no help file exists.
    record();
    CloseAllHelp();
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].command, kxHtmlHelp::HH_CLOSE_ALL);
    EXPECT_EQ(g_calls[0].file, QStringLiteral("<none>"));
    platform::applicationHelp().helpFile = QStringLiteral("/nowhere/english.chm");
    CloseAllHelp();
    EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(HtmlHelp, AFailedLoadIsNeverRepeated)
{
    // A library that is not the help reader: loaded, but without an entry.
    kxHtmlHelp::HHCtrlName = QStringLiteral(ODBC_STUB);
    EXPECT_EQ(kxHtmlHelp::InvokeHtmlHelp(nullptr, text(kHelpFile), kxHtmlHelp::HH_DISPLAY_TOC, 0), nullptr);
    EXPECT_TRUE(kxHtmlHelp::Tried);
    EXPECT_NE(kxHtmlHelp::HelpModule, nullptr);
    EXPECT_EQ(kxHtmlHelp::HtmlHelpEntry, nullptr);

    // The real reader is there now, but nothing tries again.
    kxHtmlHelp::HHCtrlName = QStringLiteral("libchm.so.1");
    EXPECT_EQ(kxHtmlHelp::InvokeHtmlHelp(nullptr, text(kHelpFile), kxHtmlHelp::HH_DISPLAY_TOC, 0), nullptr);
    EXPECT_EQ(kxHtmlHelp::HtmlHelpEntry, nullptr);
    EXPECT_TRUE(platform::helpViewers().isEmpty());
}

TEST_F(HtmlHelp, WithoutTheReaderHelpStaysSilent)
{
    kxHtmlHelp::HHCtrlName = QStringLiteral("/nonexistent/libchm.so.1");
    platform::applicationHelp().helpFile = kHelpFile;
    ShowHelpTopic(QString());
    ShowHelpTopic(QStringLiteral("export"));
    EXPECT_TRUE(kxHtmlHelp::Tried);
    EXPECT_EQ(kxHtmlHelp::HelpModule, nullptr);
    EXPECT_TRUE(platform::helpViewers().isEmpty());
    CloseAllHelp();  // loaded nothing, so closes nothing, and says nothing
}

TEST_F(HtmlHelp, TheRegisteredPathIsTheSecondChoice)
{
    auto root = std::make_shared<platform::MapClassesRoot>();
    root->set(kxHtmlHelp::HtmlHelpClassKey, QStringLiteral(LIBCHM_PATH));
    platform::setClassesRoot(root);
    QString path;
    kxHtmlHelp::GetHtmlHelpPath(path);
    EXPECT_EQ(path, QStringLiteral(LIBCHM_PATH));

    kxHtmlHelp::HHCtrlName = QStringLiteral("/nonexistent/libchm.so.1");
    QWidget* viewer = kxHtmlHelp::InvokeHtmlHelp(nullptr, text(kHelpFile), kxHtmlHelp::HH_DISPLAY_TOC, 0);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(platform::helpViewers().size(), 1);
    platform::applicationHelp().helpFile = kHelpFile;
    CloseAllHelp();
    EXPECT_TRUE(platform::helpViewers().isEmpty());
}

TEST_F(HtmlHelp, ARegisteredPathThatNamesNoFileIsEmpty)
{
    auto root = std::make_shared<platform::MapClassesRoot>();
    platform::setClassesRoot(root);
    QString path = QStringLiteral("stale");
    kxHtmlHelp::GetHtmlHelpPath(path);
    EXPECT_TRUE(path.isEmpty());  // no key
    for (const char* value : {"%SystemRoot%\\System32\\hhctrl.ocx", "/nonexistent/hhctrl.ocx", ""}) {
        root->set(kxHtmlHelp::HtmlHelpClassKey, QString::fromUtf8(value));
        kxHtmlHelp::GetHtmlHelpPath(path);
        EXPECT_TRUE(path.isEmpty()) << value;
    }
}
