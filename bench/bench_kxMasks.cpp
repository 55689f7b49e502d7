// The search list box filters every file name of a search through one mask.
#include "kxCommon/kxMasks.h"

#include <QString>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

std::vector<QString> fileNames()
{
    std::vector<QString> names;
    for (int i = 0; i < 10000; ++i)
        names.push_back(
            QStringLiteral("system/lib%1/component%2.%3").arg(i % 97).arg(i).arg(i % 3 ? "dll" : "exe"));
    return names;
}

void filter(benchmark::State& state, const char16_t* mask)
{
    const auto names = fileNames();
    for (auto _ : state) {
        int matched = 0;
        for (const QString& name : names)
            matched += WildcardMatch(name, mask);
        benchmark::DoNotOptimize(matched);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(names.size()));
}

void pathological(benchmark::State& state)
{
    const QString text(int(state.range(0)), u'a');
    for (auto _ : state)
        benchmark::DoNotOptimize(WildcardMatch(text, u"*a*a*a*a*a*a*a*b"));
    state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK_CAPTURE(filter, suffix, u"*.dll");
BENCHMARK_CAPTURE(filter, sets, u"*/lib[1-3]?/*[^0-4].exe");
BENCHMARK(pathological)->RangeMultiplier(4)->Range(64, 16384)->Complexity();

BENCHMARK_MAIN();
