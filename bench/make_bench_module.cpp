// Writes a generated module for the process-level benchmarks:
//   make_bench_module PATH GROUPS small|large
// small: one 32 x 32 8-bit image a group; large: ten images a group (16 to
// 256 pixels, 4 to 32 bits, the 256-pixel one PNG), about 80 KB a group.
#include "PeBuilder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 4 || (std::strcmp(argv[3], "small") != 0 && std::strcmp(argv[3], "large") != 0)) {
        std::fprintf(stderr, "usage: make_bench_module PATH GROUPS small|large\n");
        return 2;
    }
    const int groups = std::atoi(argv[2]);
    const bool large = std::strcmp(argv[3], "large") == 0;
    struct Spec {
        int size;
        int bits;
    };
    const Spec largeSpecs[]
        = {{16, 4}, {16, 8}, {16, 32}, {24, 32}, {32, 4}, {32, 8}, {32, 32}, {48, 32}, {128, 24}, {256, 32}};
    const Spec smallSpecs[] = {{32, 8}};
    const Spec* specs = large ? largeSpecs : smallSpecs;
    const int perGroup = large ? 10 : 1;
    if (groups <= 0 || groups * perGroup > 0xFFFF) {
        std::fprintf(stderr, "make_bench_module: 1 to %d groups\n", 0xFFFF / perGroup);
        return 2;
    }
    try {
        std::vector<fixture::PeRes> resources;
        uint16_t id = 1;
        for (int g = 0; g < groups; ++g) {
            std::vector<fixture::IcoImage> images;
            std::vector<uint16_t> ids;
            for (int k = 0; k < perGroup; ++k) {
                const Spec s = specs[k];
                const uint32_t seed = static_cast<uint32_t>(g * 16 + s.bits);
                images.push_back(s.size == 256 ? fixture::pngImage(256, 256, seed)
                                               : fixture::dibImage(s.size, s.size, s.bits, seed));
                resources.push_back({3, {}, id, {}, 0x409, images.back().data});
                ids.push_back(id++);
            }
            resources.push_back(
                {14, {}, static_cast<uint16_t>(g + 1), {}, 0x409, fixture::groupResource(images, ids)});
        }
        fixture::writeFile(argv[1], fixture::buildPe(resources).bytes);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_bench_module: %s\n", e.what());
        return 1;
    }
    return 0;
}
