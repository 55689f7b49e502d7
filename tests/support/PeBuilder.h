#pragma once
// Builds small PE32 / PE32+ files with a resource section in memory, so
// tests can make well-formed modules and then break them on purpose.

#include "IcoBuilder.h"

#include <string>
#include <vector>

namespace fixture {

struct PeRes {
    uint16_t typeId = 0;
    std::u16string typeName;  // used instead of typeId when not empty
    uint16_t nameId = 0;
    std::u16string name;  // used instead of nameId when not empty
    uint16_t lang = 0x409;
    ByteVec data;
};

struct PeOptions {
    bool pe64 = false;
    uint32_t sectionVa = 0x3000;  // unlike the file offset on purpose
    uint32_t rawOffset = 0x400;
};

struct BuiltPe {
    ByteVec bytes;
    size_t sectionHeader = 0;         // file offset of the section header
    size_t rsrcRoot = 0;              // file offset of the resource root directory
    std::vector<size_t> typeDirs;     // file offsets of the type directories, in order
    std::vector<size_t> dataEntries;  // file offsets of the data entries, in input order
    std::vector<size_t> nameStrings;  // file offsets of the name strings, in layout order
};

BuiltPe buildPe(const std::vector<PeRes>& resources, const PeOptions& options = {});

// A PE file whose one section is the resource section `rsrc`, laid out for
// the section's virtual address.
ByteVec wrapResourceSection(const ByteVec& rsrc, const PeOptions& options = {});

// A group resource (GRPICONDIR) naming the given image identifiers, with
// entries that copy the images' directory values.
ByteVec groupResource(const std::vector<IcoImage>& images, const std::vector<uint16_t>& ids);

}  // namespace fixture
