// Writes the .ico files that the fixture modules are built from.
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
        writeFile(dir + "/depths.ico", icoFile({dibImage(32, 32, 1, 2), dibImage(32, 32, 4, 2),
                                                dibImage(32, 32, 8, 2), dibImage(32, 32, 24, 2),
                                                dibImage(32, 32, 32, 2)}));
        writeFile(dir + "/png256.ico", icoFile({pngImage(256, 256, 3), dibImage(48, 48, 32, 3),
                                                dibImage(32, 32, 32, 3)}));
        std::vector<IcoImage> many;
        for (int size : {16, 20, 24, 32, 40})
            for (int bits : {1, 4, 8, 32})
                many.push_back(dibImage(size, size, bits, static_cast<uint32_t>(size + bits)));
        writeFile(dir + "/many.ico", icoFile(many));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_fixture_icons: %s\n", e.what());
        return 1;
    }
    return 0;
}
