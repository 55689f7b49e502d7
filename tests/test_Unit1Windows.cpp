// The program's windows under a window manager (Xvfb and openbox): where the
// main window's frame goes, how the icon window stacks with modal dialogs,
// and help asked for from a dialog. Driven from outside, as a user would.
#include "HangGuard.h"
#include "InstalledProgram.h"
#include "VirtualDisplay.h"

#include <QElapsedTimer>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace {

class WindowManagerRun : public InstalledProgram {
protected:
    VirtualDisplay display {VirtualDisplay::WithWindowManager};
    QProcess program;

    void SetUp() override
    {
        InstalledProgram::SetUp();
        if (IsSkipped())
            return;
        for (const char* tool : {"xdotool", "xprop", "xwininfo", "wmctrl", "import"})
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                GTEST_SKIP() << "no " << tool;
        if (display.name().isEmpty())
            GTEST_SKIP() << "no Xvfb with openbox";
        ASSERT_TRUE(
            QFile::copy(QStringLiteral(HELP_FILE_DIR "/english.chm"), installed.filePath("english.chm")));
    }
    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(kHangGuard);
        }
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = batchEnvironment();
        env.insert("DISPLAY", display.name());
        env.insert("LSAN_OPTIONS", "suppressions=" SOURCE_DIR "/tests/support/lsan-display.supp");
        return env;
    }
    void settings(const QByteArray& ini)
    {
        QFile file(installed.filePath("gharv.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(ini);
    }
    // Starts the program and waits for its main window; its id, or 0.
    qulonglong start()
    {
        program.setProcessEnvironment(environment());
        program.setWorkingDirectory(work.path());
        program.start(installed.filePath("pictorium"), {});
        if (!program.waitForStarted(kHangGuard))
            return 0;
        return waitForWindow("^Pictorium - ");
    }
    // Closes the main window as its close button does; false on a hang.
    bool close()
    {
        x("wmctrl", {"-c", "Pictorium - "});
        const bool ended = program.waitForFinished(kHangGuard);
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error"})
            EXPECT_FALSE(err.contains(QLatin1String(report))) << err.toStdString();
        return ended && program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0;
    }

    QString x(const QString& tool, const QStringList& args) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(tool, args);
        p.waitForFinished(kHangGuard);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }
    static bool waitUntil(const std::function<bool()>& done)
    {
        // Only a guard against a hang: generous for a sanitizer build.
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > kHangGuard)
                return false;
            QThread::msleep(100);
        }
        return true;
    }
    qulonglong window(const QString& title) const
    {
        const QStringList ids = x("xdotool", {"search", "--onlyvisible", "--name", title}).split(u'\n');
        return ids.first().trimmed().toULongLong();
    }
    qulonglong waitForWindow(const QString& title) const
    {
        qulonglong id = 0;
        waitUntil([&] { return (id = window(title)) != 0; });
        return id;
    }
    // The managed windows from the bottom up, as the window manager stacks them.
    QList<qulonglong> stacking() const
    {
        QList<qulonglong> ids;
        const QString text = x("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
        for (const QString& id : text.section(u'#', 1).split(u',', Qt::SkipEmptyParts))
            ids << id.trimmed().toULongLong(nullptr, 16);
        return ids;
    }
    bool above(qulonglong upper, qulonglong lower) const
    {
        const QList<qulonglong> order = stacking();
        return order.contains(upper) && order.contains(lower) && order.indexOf(upper) > order.indexOf(lower);
    }
    // The top-left corner of the window's frame on the screen.
    QPoint frameTopLeft(qulonglong id) const
    {
        const QString info = x("xwininfo", {"-id", QString::number(id)});
        const auto value = [&](const char* name) {
            return QRegularExpression(QLatin1String(name) + QStringLiteral(":\\s+(-?\\d+)"))
                .match(info)
                .captured(1)
                .toInt();
        };
        const QStringList extents = x("xprop", {"-id", QString::number(id), "_NET_FRAME_EXTENTS"})
                                        .section(u'=', 1)
                                        .split(u',', Qt::SkipEmptyParts);
        if (extents.size() != 4)
            return {-10000, -10000};
        return {value("Absolute upper-left X") - extents[0].trimmed().toInt(),
                value("Absolute upper-left Y") - extents[2].trimmed().toInt()};
    }
    // Left, Top, Right, Bottom and Maximized as the last run saved them.
    QStringList savedPlacement() const
    {
        QFile ini(installed.filePath("gharv.ini"));
        if (!ini.open(QIODevice::ReadOnly))
            return {};
        const QString placement = QString::fromUtf8(ini.readAll()).section(QStringLiteral("[Placement]"), 1);
        QStringList values;
        for (const char* name : {"Left", "Top", "Right", "Bottom", "Maximized"})
            values << QRegularExpression(QLatin1String(name) + QStringLiteral("=(-?\\d+)"))
                          .match(placement)
                          .captured(1);
        return values;
    }
    QByteArray picture(qulonglong id) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start("import", {"-window", QString::number(id), "rgb:-"});
        p.waitForFinished(kHangGuard);
        return p.readAllStandardOutput();
    }
    void keys(qulonglong id, const QStringList& keys) const
    {
        x("xdotool",
          QStringList {"windowactivate", "--sync", QString::number(id), "key", "--delay", "100"} + keys);
    }
};

}  // namespace

TEST_F(WindowManagerRun, FirstRunFrameIsOnScreenAndThePlacementStaysOverStarts)
{
    settings("[Settings]\nRun=1\n");
    QString first;
    for (int run = 1; run <= 5; ++run) {
        SCOPED_TRACE(run);
        const qulonglong main = start();
        ASSERT_NE(main, 0u);
        // The frame, title bar included, at the first run's position.
        ASSERT_TRUE(waitUntil([&] { return frameTopLeft(main) == QPoint(0, 0); }))
            << frameTopLeft(main).x() << "," << frameTopLeft(main).y();
        ASSERT_TRUE(close());
        const QStringList edges = savedPlacement();
        if (run == 1) {
            EXPECT_EQ(edges[0], "0");
            EXPECT_EQ(edges[1], "0");
            first = edges.join(u' ');
        }
        EXPECT_EQ(edges.join(u' '), first);
    }
}

TEST_F(WindowManagerRun, StartedMaximizedTheWindowIsRestoredToItsPlacement)
{
    settings("[Settings]\nRun=1\n[Placement]\nLeft=100\nTop=80\nRight=800\nBottom=600\nMaximized=1\n");
    for (const bool restore : {false, true}) {
        SCOPED_TRACE(restore);
        const qulonglong main = start();
        ASSERT_NE(main, 0u);
        if (restore) {
            ASSERT_TRUE(waitUntil([&] { return frameTopLeft(main) == QPoint(0, 0); }));
            x("wmctrl", {"-r", "Pictorium - ", "-b", "remove,maximized_vert,maximized_horz"});
            ASSERT_TRUE(waitUntil([&] { return frameTopLeft(main) == QPoint(100, 80); }))
                << frameTopLeft(main).x() << "," << frameTopLeft(main).y();
        }
        ASSERT_TRUE(close());
        EXPECT_EQ(savedPlacement().join(u' ').toStdString(),
                  restore ? "100 80 800 600 0" : "100 80 800 600 1");
    }
}

TEST_F(WindowManagerRun, ModalDialogsAndMessageBoxesStandAboveTheIconWindow)
{
    settings("[Settings]\nRun=1\n");
    const qulonglong main = start();
    ASSERT_NE(main, 0u);
    const qulonglong icons = waitForWindow("^Selected icon$");
    ASSERT_NE(icons, 0u);
    ASSERT_TRUE(waitUntil([&] { return above(icons, main); }));

    // The window of this title stands above the icon window, which stays
    // above the main window, until the key closes it.
    const auto standsAbove = [&](const QString& title, const char* key) {
        const qulonglong modal = waitForWindow(title);
        ASSERT_NE(modal, 0u) << title.toStdString();
        EXPECT_TRUE(waitUntil([&] { return above(modal, icons) && above(icons, main); }))
            << title.toStdString();
        keys(modal, {key});
        ASSERT_TRUE(waitUntil([&] { return window(title) == 0; })) << title.toStdString();
        EXPECT_TRUE(waitUntil([&] { return above(icons, main); })) << title.toStdString();
    };

    keys(main, {"ctrl+o"});
    standsAbove("^Select file$", "Escape");

    // An error box: the selected icon saved into a folder that is a file.
    QFile blocker(work.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    keys(main, {"ctrl+s"});
    const qulonglong save = waitForWindow("^Save As$");
    ASSERT_NE(save, 0u);
    // In place of the proposed name, however much of it is selected.
    x("xdotool",
      {"windowactivate", "--sync", QString::number(save), "key", "ctrl+a", "type", "--delay", "50",
       "blocker/none.ico"});
    keys(save, {"Return"});
    standsAbove("^Pictorium$", "Return");
    EXPECT_TRUE(close());
}

TEST_F(WindowManagerRun, HelpFromTheExportOptionsComesToTheFrontAndTakesInput)
{
    settings("[Settings]\nRun=1\n");
    const qulonglong main = start();
    ASSERT_NE(main, 0u);
    // The save button's menu, its HTML export, the options' Help button.
    const auto shown = [&] {
        return x("xdotool", {"search", "--onlyvisible", "--pid", QString::number(program.processId())})
            .split(u'\n', Qt::SkipEmptyParts)
            .size();
    };
    const qsizetype menusBefore = shown();
    x("xdotool",
      {"windowactivate", "--sync", QString::number(main), "mousemove", "--window", QString::number(main),
       "60", "19", "click", "1"});
    EXPECT_TRUE(waitUntil([&] { return shown() > menusBefore; }));  // the menu
    x("xdotool", {"key", "h"});
    const qulonglong options = waitForWindow("^HTML Export$");
    ASSERT_NE(options, 0u);
    keys(options, {"alt+h"});
    const qulonglong help = waitForWindow("^Pictorium Help$");
    ASSERT_NE(help, 0u);
    EXPECT_TRUE(waitUntil([&] { return !stacking().isEmpty() && stacking().last() == help; }));

    // The wheel over the page scrolls it; a click in it and a key scroll it back.
    QByteArray before = picture(help);
    x("xdotool",
      {"mousemove", "--window", QString::number(help), "600", "300", "click", "--repeat", "5", "5"});
    EXPECT_TRUE(waitUntil([&] { return picture(help) != before; })) << "the wheel did not reach the help";
    before = picture(help);
    x("xdotool", {"click", "1", "key", "Prior"});
    EXPECT_TRUE(waitUntil([&] { return picture(help) != before; }))
        << "the click and key did not reach the help";

    // Still open, and the help stays once the options are gone.
    ASSERT_NE(window("^HTML Export$"), 0u);
    keys(options, {"Escape"});
    ASSERT_TRUE(waitUntil([&] { return window("^HTML Export$") == 0; }));
    EXPECT_NE(window("^Pictorium Help$"), 0u);
    EXPECT_TRUE(close());
}
