// Loading the icons of a large module: 200 groups of 10 images each
// (16 to 256 pixels, 4 to 32 bits, the 256-pixel ones PNG), about 15 MB.
#include "platform/ShellIcons.h"

#include "PeBuilder.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace platform;

namespace {

constexpr int kGroups = 200;
std::string g_path;

void writeModule(const std::string& path)
{
    struct Spec {
        int size;
        int bits;
    };
    const Spec specs[]
        = {{16, 4}, {16, 8}, {16, 32}, {24, 32}, {32, 4}, {32, 8}, {32, 32}, {48, 32}, {128, 24}, {256, 32}};
    std::vector<fixture::PeRes> resources;
    uint16_t id = 1;
    for (int g = 0; g < kGroups; ++g) {
        std::vector<fixture::IcoImage> images;
        std::vector<uint16_t> ids;
        for (const Spec& s : specs) {
            const uint32_t seed = static_cast<uint32_t>(g * 16 + s.bits);
            images.push_back(s.size == 256 ? fixture::pngImage(256, 256, seed)
                                           : fixture::dibImage(s.size, s.size, s.bits, seed));
            resources.push_back({3, {}, id, {}, 0x409, images.back().data});
            ids.push_back(id++);
        }
        resources.push_back(
            {14, {}, static_cast<uint16_t>(g + 1), {}, 0x409, fixture::groupResource(images, ids)});
    }
    fixture::writeFile(path, fixture::buildPe(resources).bytes);
}

void setCounters(benchmark::State& state)
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["maxrss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(g_path)) / (1024.0 * 1024.0);
}

void BM_LoadIcons(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const QString path = QString::fromStdString(g_path);
    for (auto _ : state) {
        std::vector<Icon> icons = extractIcons(path, size);
        benchmark::DoNotOptimize(icons.data());
        if (icons.size() != kGroups || icons.front().isNull() || icons.back().width() != size) {
            state.SkipWithError("icons missing");
            break;
        }
    }
    setCounters(state);
}
BENCHMARK(BM_LoadIcons)->Arg(kLargeIconSize)->Arg(kSmallIconSize)->Unit(benchmark::kMillisecond);

void BM_IconCount(benchmark::State& state)
{
    const QString path = QString::fromStdString(g_path);
    for (auto _ : state)
        benchmark::DoNotOptimize(iconCount(path));
    setCounters(state);
}
BENCHMARK(BM_IconCount)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    g_path
        = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_icon_loader_" + std::to_string(getpid()) + ".dll";
    // Built in a child process so that the peak memory reported is the
    // loader's, not the generator's.
    const pid_t child = fork();
    if (child == 0) {
        try {
            writeModule(g_path);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_icon_loader: %s\n", e.what());
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_icon_loader: could not build the module\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(g_path);
    return 0;
}
