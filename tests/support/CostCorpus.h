#pragma once
// Small inputs that are costly to read or to export: compressed chunks that
// inflate far beyond their size, directories and groups that name one image
// thousands of times, resource trees whose groups share one subtree. The
// tests take small ones; bench/make_hostile_inputs writes them full size.

#include "IcoBuilder.h"

#include <string>
#include <vector>

namespace fixture {

// A 32 x 32 PNG with `count` chunks of `type` (zTXt, iTXt or iCCP) after
// IHDR, each holding a zlib stream that inflates to `inflated` bytes.
IcoImage pngWithInflatingChunks(const char (&type)[5], int count, size_t inflated = 7'900'000);

// A PNG whose IHDR claims one row more than its image data holds.
IcoImage pngOneRowShort(int width, int height, uint32_t seed = 0);

// An .ico file whose `entries` directory entries all point at one image.
ByteVec icoNamingOneImage(const IcoImage& image, int entries);

// A module with RT_ICON 1 = `image` and one group that names it `entries`
// times.
ByteVec moduleNamingOneImage(const IcoImage& image, int entries);

// A module with RT_ICON 1 = `image` and `groups` icon groups (identifiers
// 1 to groups) that share one group resource naming image 1: every group
// entry of the type directory points at the same subtree.
ByteVec moduleOfSharedGroups(const IcoImage& image, int groups);

// Writes a file of `size` bytes that holds `head` and is sparse after it.
void writeSparseFile(const std::string& path, const ByteVec& head, uint64_t size);

// An .ico head whose directory has one small good image and one entry of
// `claimed` bytes that starts after it and runs to the end of a file of
// `claimed` + the head's size; the costly entry is ranked first for 32 px.
ByteVec icoClaimingHugeImage(uint32_t claimed);

struct CorpusItem {
    std::string name;  // file name, with its extension
    ByteVec bytes;
};

// The whole corpus at the sizes that make it costly (each under 1 MB).
std::vector<CorpusItem> costCorpus();

}  // namespace fixture
