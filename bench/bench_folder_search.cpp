// A folder search over a generated tree of 10,000 files: modules with 0 to
// 20 icon groups, other files and sub-folders.
#include "kxCommon/kxFileUtils.h"

#include "PeBuilder.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

struct Tree {
    QTemporaryDir dir;
    int files = 0;

    Tree()
    {
        const fixture::IcoImage image = fixture::dibImage(32, 32, 8, 1);
        std::vector<fixture::ByteVec> modules;
        for (int groups = 0; groups <= 20; ++groups) {
            std::vector<fixture::PeRes> res;
            for (int g = 0; g < groups; ++g) {
                res.push_back({3, {}, static_cast<uint16_t>(g + 1), {}, 0x409, image.data});
                res.push_back({14,
                               {},
                               static_cast<uint16_t>(g + 1),
                               {},
                               0x409,
                               fixture::groupResource({image}, {static_cast<uint16_t>(g + 1)})});
            }
            fixture::ByteVec bytes = fixture::buildPe(res).bytes;
            bytes.resize(bytes.size() + 32 * 1024, 0x90);
            modules.push_back(std::move(bytes));
        }
        const char* exts[] = {".dll", ".exe", ".ocx", ".txt", ".png", ".dat"};
        for (int folder = 0; folder < 100; ++folder) {
            const QString sub = dir.filePath(QString("d%1/s%2").arg(folder % 10).arg(folder));
            QDir().mkpath(sub);
            for (int i = 0; i < 100; ++i, ++files) {
                const char* ext = exts[i % 6];
                const QString path = sub + QString("/f%1%2").arg(i).arg(ext);
                if (i % 6 < 3)
                    fixture::writeFile(path.toStdString(), modules[static_cast<size_t>(i % 21)]);
                else
                    fixture::writeFile(path.toStdString(), fixture::ByteVec(2048, 'x'));
            }
        }
    }
};

void BM_FolderSearch(benchmark::State& state)
{
    static Tree tree;
    QStringList list;
    TStringListStrings strings(list);
    for (auto _ : state) {
        FindIconFiles(tree.dir.path(), tree.dir.path(), "*.dll;*.exe;*.ocx", static_cast<int>(state.range(0)),
                      true, false, strings);
        benchmark::DoNotOptimize(list.size());
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["files_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * tree.files, benchmark::Counter::kIsRate);
    state.counters["found"] = static_cast<double>(list.size());
    state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_FolderSearch)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
