// Expanding a folder of 10,000 sub-folders in the folder tree, with a warm
// cache: every other sub-folder holds a folder of its own, so each child's
// expand button costs one listing.
#include "kxCommon/kxFolderTree.h"
#include "platform/ShellFolders.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

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

}  // namespace

BENCHMARK_MAIN();
