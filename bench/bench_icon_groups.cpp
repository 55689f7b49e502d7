// Counting the icon groups of many module files: what a folder search does
// for every file it matches.
#include "platform/PeModule.h"

#include "PeBuilder.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace platform;

namespace {

struct Modules {
    QTemporaryDir dir;
    std::vector<QString> paths;

    explicit Modules(int count)
    {
        const fixture::IcoImage image = fixture::dibImage(32, 32, 8, 1);
        for (int i = 0; i < count; ++i) {
            std::vector<fixture::PeRes> res;
            const int groups = i % 21;
            for (int g = 0; g < groups; ++g) {
                res.push_back({3, {}, static_cast<uint16_t>(g + 1), {}, 0x409, image.data});
                res.push_back({14,
                               {},
                               static_cast<uint16_t>(g + 1),
                               {},
                               0x409,
                               fixture::groupResource({image}, {static_cast<uint16_t>(g + 1)})});
            }
            // Some bulk besides the resources, as real modules have code.
            fixture::BuiltPe pe = fixture::buildPe(res);
            pe.bytes.resize(pe.bytes.size() + 64 * 1024, 0xCC);
            const QString path = dir.filePath(QString("m%1.dll").arg(i));
            fixture::writeFile(path.toStdString(), pe.bytes);
            paths.push_back(path);
        }
    }
};

void BM_CountIconGroups(benchmark::State& state)
{
    static Modules modules(2000);
    const ResourceId group = ResourceId::fromType(ResType::GroupIcon);
    size_t total = 0;
    for (auto _ : state) {
        for (const QString& path : modules.paths) {
            auto module = PeModule::open(path);
            total += module ? module->resourceCount(group) : 0;
        }
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(modules.paths.size()));
    state.counters["files_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations() * modules.paths.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CountIconGroups)->Unit(benchmark::kMillisecond);

// A module of about 15 MB: 184 groups of a 128 x 128 and a 16 x 16 image,
// and 2 MB of code. Its bytes are read as the program needs them.
struct LargeModule {
    QTemporaryDir dir;
    QString path = dir.filePath("large.dll");

    LargeModule()
    {
        const fixture::IcoImage big = fixture::dibImage(128, 128, 32, 1);
        const fixture::IcoImage small = fixture::dibImage(16, 16, 8, 2);
        std::vector<fixture::PeRes> res;
        for (uint16_t g = 0; g < 184; ++g) {
            const auto first = static_cast<uint16_t>(2 * g + 1);
            res.push_back({3, {}, first, {}, 0x409, big.data});
            res.push_back({3, {}, static_cast<uint16_t>(first + 1), {}, 0x409, small.data});
            res.push_back({14,
                           {},
                           static_cast<uint16_t>(g + 1),
                           {},
                           0x409,
                           fixture::groupResource({big, small}, {first, static_cast<uint16_t>(first + 1)})});
        }
        fixture::BuiltPe pe = fixture::buildPe(res);
        pe.bytes.resize(pe.bytes.size() + 2 * 1024 * 1024, 0xCC);
        fixture::writeFile(path.toStdString(), pe.bytes);
    }
};

void BM_LargeModuleCountGroups(benchmark::State& state)
{
    static LargeModule large;
    const ResourceId group = ResourceId::fromType(ResType::GroupIcon);
    size_t total = 0;
    for (auto _ : state) {
        auto module = PeModule::open(large.path);
        total += module ? module->resourceCount(group) : 0;
    }
    benchmark::DoNotOptimize(total);
}
BENCHMARK(BM_LargeModuleCountGroups)->Unit(benchmark::kMicrosecond);

// Every byte of every icon image, as an export of all icons reads them.
void BM_LargeModuleReadEveryImage(benchmark::State& state)
{
    static LargeModule large;
    const ResourceId icon = ResourceId::fromType(ResType::Icon);
    uint64_t sum = 0;
    for (auto _ : state) {
        auto module = PeModule::open(large.path);
        for (const ResourceId& name : module->resourceNames(icon)) {
            const auto bytes = module->findResource(icon, name);
            for (size_t i = 0; bytes && i < bytes->size(); i += 64)
                sum += (*bytes)[i];
        }
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_LargeModuleReadEveryImage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
