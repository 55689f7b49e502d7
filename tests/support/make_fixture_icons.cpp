// Writes the .ico files that the fixture modules are built from.
#include "CostCorpus.h"
#include "IcoBuilder.h"

#include <cstdio>
#include <string>

using namespace fixture;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fixture_icons OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    try {
        // The group writer's worked example: 16 x 16 at 4 bits, 32 x 32 at 8 bits.
        writeFile(dir + "/mixed.ico", icoFile({dibImage(16, 16, 4, 1), dibImage(32, 32, 8, 1)}));
        writeFile(dir + "/depths.ico",
                  icoFile({dibImage(32, 32, 1, 2), dibImage(32, 32, 4, 2), dibImage(32, 32, 8, 2),
                           dibImage(32, 32, 24, 2), dibImage(32, 32, 32, 2)}));
        writeFile(dir + "/png256.ico",
                  icoFile({pngImage(256, 256, 3), dibImage(48, 48, 32, 3), dibImage(32, 32, 32, 3)}));
        std::vector<IcoImage> many;
        for (int size : {16, 20, 24, 32, 40})
            for (int bits : {1, 4, 8, 32})
                many.push_back(dibImage(size, size, bits, static_cast<uint32_t>(size + bits)));
        writeFile(dir + "/many.ico", icoFile(many));

        // The icon loader's choice among the images of a group.
        writeFile(dir + "/loader_exact.ico",
                  icoFile({dibImage(16, 16, 8, 10), dibImage(32, 32, 4, 11), dibImage(32, 32, 32, 12),
                           dibImage(32, 32, 8, 13), dibImage(48, 48, 32, 14)}));
        writeFile(dir + "/loader_larger.ico",
                  icoFile({dibImage(128, 128, 32, 20), dibImage(48, 48, 8, 21), dibImage(64, 64, 24, 22)}));
        writeFile(dir + "/loader_smaller.ico", icoFile({dibImage(16, 16, 4, 30), dibImage(24, 24, 8, 31)}));
        writeFile(dir + "/loader_pngonly.ico", icoFile({pngImage(256, 256, 40)}));
        IcoImage truncated = dibImage(32, 32, 8, 41);
        truncated.data.resize(100);
        IcoImage badDepth = dibImage(32, 32, 8, 42);
        put16(badDepth.data, 14, 7);
        IcoImage badPng = pngImage(32, 32, 43);
        for (size_t i = badPng.data.size() / 2; i < badPng.data.size() - 16; ++i)
            badPng.data[i] ^= 0x5A;
        writeFile(dir + "/loader_broken.ico", icoFile({truncated, badDepth, badPng}));
        // A chunk length far past the end of the image.
        writeFile(dir + "/png_lying_chunk.ico", icoFile({pngWithLyingChunk(128, 128, 60)}));
        writeFile(dir + "/loader_bitfields.ico",
                  icoFile({dibBitfieldsImage(32, 32, 16, 50), dibImage(16, 16, 16, 51),
                           dibBitfieldsImage(48, 48, 32, 52)}));

        // Small members of the cost corpus, as seeds of the fuzz targets.
        writeFile(dir + "/cost_ztxt.ico", icoFile({pngWithInflatingChunks("zTXt", 4, 1'000'000)}));
        writeFile(dir + "/cost_itxt.ico", icoFile({pngWithInflatingChunks("iTXt", 4, 1'000'000)}));
        writeFile(dir + "/cost_iccp.ico", icoFile({pngWithInflatingChunks("iCCP", 2, 1'000'000)}));
        writeFile(dir + "/cost_short_row.ico", icoNamingOneImage(pngOneRowShort(64, 64), 200));
        writeFile(dir + "/cost_shared_groups.dll", moduleOfSharedGroups(pngImage(64, 64, 44), 200));
        writeFile(dir + "/cost_repeated.dll", moduleNamingOneImage(dibImage(32, 32, 8, 45), 100));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_fixture_icons: %s\n", e.what());
        return 1;
    }
    return 0;
}
