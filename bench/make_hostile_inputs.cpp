// Writes the inputs that bench/hostile_inputs.sh times:
//   make_hostile_inputs DIR
// every item of the cost corpus, a sparse .ico of 3 GB, a plain .ico and a
// settings file of 1 MiB of blank lines.
#include "CostCorpus.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_hostile_inputs DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    try {
        for (const fixture::CorpusItem& item : fixture::costCorpus())
            fixture::writeFile(dir + "/" + item.name, item.bytes);
        constexpr uint32_t kClaimed = 3'000'000'000u;
        const fixture::ByteVec head = fixture::icoClaimingHugeImage(kClaimed);
        fixture::writeSparseFile(dir + "/sparse_3gb.ico", head, head.size() + uint64_t {kClaimed});
        // A plain icon, the baseline, and the input of the settings run.
        fixture::writeFile(dir + "/plain_32.ico", fixture::icoFile({fixture::pngImage(32, 32)}));
        fixture::writeFile(dir + "/gharv.ini", fixture::ByteVec(1 << 20, '\n'));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_hostile_inputs: %s\n", e.what());
        return 1;
    }
    return 0;
}
