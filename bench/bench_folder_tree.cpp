// Expanding a folder of 10,000 sub-folders in the folder tree, with a warm
// cache: every other sub-folder holds a folder of its own, so each child's
// expand button costs one listing. And what 100 expanded, watched folders
// cost while nothing changes on disk: inotify instances and CPU.
#include "kxCommon/kxFolderTree.h"
#include "platform/ShellFolders.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

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

int inotifyInstances()
{
    int count = 0;
    for (const QString& fd : QDir(QStringLiteral("/proc/self/fd"))
                                 .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[64] = {};
        const QByteArray link = QFile::encodeName("/proc/self/fd/" + fd);
        if (readlink(link.constData(), target, sizeof target - 1) > 0
            && std::strcmp(target, "anon_inode:inotify") == 0)
            ++count;
    }
    return count;
}

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
    const int instancesBefore = inotifyInstances();
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
    state.counters["inotify_instances"] = inotifyInstances() - instancesBefore;
    state.counters["idle_cpu_percent"] = cpu / wall * 100.0;
}
BENCHMARK(BM_IdleWithHundredExpandedFolders)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
