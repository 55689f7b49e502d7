// Expanding a folder of 10,000 sub-folders in the folder tree, with a warm
// cache: every other sub-folder holds a folder of its own, so each child's
// expand button costs one listing. And what 100 expanded, watched folders
// cost while nothing changes on disk: inotify instances and CPU. And the
// "*" key on the real Computer: how long the window takes to answer after
// Esc, and how many inotify watches the tree then holds.
#include "InotifyUse.h"
#include "kxCommon/kxFolderTree.h"
#include "platform/ShellFolders.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <benchmark/benchmark.h>

namespace {

QApplication& application()
{
    static int argc = 1;
    static char name[] = "bench_folder_tree";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

void BM_ExpandTenThousandSubFolders(benchmark::State& state)
{
    application();
    QTemporaryDir dir;
    const QString big = dir.path() + "/Desktop/big";
    for (int i = 0; i < 10000; ++i) {
        const QString sub = big + QString("/folder%1").arg(i, 5, 10, QChar('0'));
        QDir().mkpath(i % 2 ? sub + "/inner" : sub);
    }
    TkxFolderTree tree(nullptr,
                       TFolderTreePlaces {dir.path() + "/Desktop", dir.path() + "/trash",
                                          dir.path() + "/mountinfo", QString()});
    tree.BuildRootNodes();
    QTreeWidgetItem* node = tree.DesktopNode()->child(1);
    if (!node || tree.GetPath(node) != big) {
        state.SkipWithError("no node for the big folder");
        return;
    }
    tree.ExpandFolderNode(node);  // warms the cache
    for (auto _ : state) {
        state.PauseTiming();
        tree.DeleteChildNodes(node);
        state.ResumeTiming();
        benchmark::DoNotOptimize(tree.ExpandFolderNode(node));
    }
    state.counters["children"] = node->childCount();
}
BENCHMARK(BM_ExpandTenThousandSubFolders)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The file-system part of the expansion: the listing and one listing per
// child for its expand button.
void BM_ListTenThousandSubFolders(benchmark::State& state)
{
    QTemporaryDir dir;
    for (int i = 0; i < 10000; ++i) {
        const QString sub = dir.path() + QString("/folder%1").arg(i, 5, 10, QChar('0'));
        QDir().mkpath(i % 2 ? sub + "/inner" : sub);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::listSubFolders(dir.path()));
}
BENCHMARK(BM_ListTenThousandSubFolders)->Unit(benchmark::kMillisecond)->MinTime(2.0);

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The Desktop holds 100 folders with a sub-folder each; every one is
// expanded, as "expand all" does, and then the event loop idles. The
// instances counted include the one that follows the stand-in mount table
// (the real one is polled for POLLPRI instead).
void BM_IdleWithHundredExpandedFolders(benchmark::State& state)
{
    application();
    // Beside the program rather than in the busy temporary folder.
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-XXXXXX"));
    for (int i = 0; i < 100; ++i)
        QDir().mkpath(dir.path() + QString("/Desktop/folder%1/inner").arg(i, 3, 10, QChar('0')));
    const int instancesBefore = inotify_use::instances();
    TkxFolderTree tree(nullptr,
                       TFolderTreePlaces {dir.path() + "/Desktop", dir.path() + "/trash",
                                          dir.path() + "/mountinfo", QString()});
    tree.BuildRootNodes();
    for (int i = 0; i < tree.DesktopNode()->childCount(); ++i)
        tree.DesktopNode()->child(i)->setExpanded(true);
    QCoreApplication::processEvents();
    if (tree.RunningWatchers() < 100) {
        state.SkipWithError("fewer than 100 watchers");
        return;
    }
    double cpu = 0, wall = 1;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const double before = cpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(2000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        cpu = cpuSeconds() - before;
        wall = double(timer.nsecsElapsed()) / 1e9;
    }
    state.counters["watchers"] = double(tree.RunningWatchers());
    state.counters["inotify_instances"] = inotify_use::instances() - instancesBefore;
    state.counters["idle_cpu_percent"] = cpu / wall * 100.0;
}
BENCHMARK(BM_IdleWithHundredExpandedFolders)->Unit(benchmark::kMillisecond)->Iterations(1);

int nodesBelow(QTreeWidgetItem* node)
{
    int count = node->childCount();
    for (int i = 0; i < node->childCount(); ++i)
        count += nodesBelow(node->child(i));
    return count;
}

// "*" on Computer, then Esc a second later, as a person would press it: the
// key is posted from another thread, since the main thread may be busy, and
// a step posted right behind it times when the window answers again.
void BM_ExpandAllOfComputerThenEsc(benchmark::State& state)
{
    application();
    TkxFolderTree tree;
    tree.resize(400, 600);
    tree.show();
    tree.BuildRootNodes();
    tree.SetSelected(tree.MyComputerNode());
    QCoreApplication::processEvents();
    double answer = 0, wall = 0;
    int watches = 0, nodes = 0, nodesLater = 0, watchesLater = 0;
    for (auto _ : state) {
        using Clock = std::chrono::steady_clock;
        std::atomic<bool> answered = false;
        Clock::time_point escAt, answeredAt;
        const Clock::time_point start = Clock::now();
        std::thread person([&] {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            escAt = Clock::now();
            QCoreApplication::postEvent(&tree,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            QCoreApplication::postEvent(&tree,
                                        new QKeyEvent(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier));
            QMetaObject::invokeMethod(
                &tree,
                [&] {
                    answeredAt = Clock::now();
                    answered = true;
                },
                Qt::QueuedConnection);
        });
        QKeyEvent star(QEvent::KeyPress, Qt::Key_Asterisk, Qt::NoModifier, QStringLiteral("*"));
        QCoreApplication::sendEvent(&tree, &star);
        while (!answered)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        person.join();
        answer = std::chrono::duration<double>(answeredAt - escAt).count();
        wall = std::chrono::duration<double>(answeredAt - start).count();
        watches = inotify_use::watches();
        nodes = nodesBelow(tree.MyComputerNode());
        // Whatever still runs after Esc shows as nodes added meanwhile.
        QElapsedTimer later;
        later.start();
        while (later.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        nodesLater = nodesBelow(tree.MyComputerNode());
        watchesLater = inotify_use::watches();
    }
    state.counters["answer_after_esc_s"] = answer;
    state.counters["star_to_answer_s"] = wall;
    state.counters["watches"] = watches;
    state.counters["watches_2s_later"] = watchesLater;
    state.counters["nodes"] = nodes;
    state.counters["nodes_added_2s_later"] = nodesLater - nodes;
}
BENCHMARK(BM_ExpandAllOfComputerThenEsc)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
