// The batch exports of every icon of a generated module, as the command
// line runs them: .ico files of 1,000 and 10,000 groups (the second should
// cost about ten times the first) and PNG pictures of 200 groups.
#include "app/IconSaver.h"
#include "app/Unit1.h"
#include "kxCommon/kxGraphicUtils.h"

#include "PeBuilder.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>

namespace {

// The grid is not read when a source file is named.
class NoGrid : public TIconGridSource {
public:
    int Count() const override { return 0; }
    const platform::Icon& GetIcon(int) const override { return m_icon; }
    int ColCount() const override { return 1; }
    int ColWidth() const override { return 32; }
    int Height() const override { return 32; }
    int ItemWidth() const override { return 32; }
    int ItemHeight() const override { return 32; }
    void DrawAll(QPainter&) const override {}

private:
    platform::Icon m_icon;
};

QTemporaryDir& workDir()
{
    static QTemporaryDir dir;
    return dir;
}

// One 32 x 32 8-bit image a group, the module written once per size.
QString moduleWith(int groups)
{
    static std::map<int, QString> made;
    auto& path = made[groups];
    if (path.isEmpty()) {
        const fixture::IcoImage image = fixture::dibImage(32, 32, 8, 3);
        std::vector<fixture::PeRes> res;
        for (int g = 0; g < groups; ++g) {
            const auto id = static_cast<uint16_t>(g + 1);
            res.push_back({3, {}, id, {}, 0x409, image.data});
            res.push_back({14, {}, id, {}, 0x409, fixture::groupResource({image}, {id})});
        }
        path = workDir().filePath(QStringLiteral("groups%1.dll").arg(groups));
        fixture::writeFile(path.toStdString(), fixture::buildPe(res).bytes);
    }
    return path;
}

void runSaveAll(benchmark::State& state, int fileType)
{
    const int groups = static_cast<int>(state.range(0));
    const QString module = moduleWith(groups);
    NoGrid grid;
    BatchMode = true;
    int run = 0;
    for (auto _ : state) {
        // A new folder every time: the files are new, as in a first export.
        const QString dest = workDir().filePath(QStringLiteral("out%1_%2").arg(fileType).arg(run++));
        TIconSaver saver(grid, module);
        int saved = 0;
        uint16_t confirm = 0;
        QSet<QString> written;
        saver.SaveAll(module, dest, QString(), QString(), QString(), fileType, 0, false, false, false, false,
                      0, saved, confirm, written);
        if (saved != groups) {
            state.SkipWithError("icons missing");
            break;
        }
        state.PauseTiming();
        QDir(dest).removeRecursively();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * groups);
}

void BM_SaveAllIco(benchmark::State& state) { runSaveAll(state, kImageFormatIco); }
BENCHMARK(BM_SaveAllIco)
    ->ArgName("groups")
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SaveAllPng(benchmark::State& state) { runSaveAll(state, kImageFormatPng); }
BENCHMARK(BM_SaveAllPng)->ArgName("groups")->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
