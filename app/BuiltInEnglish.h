#pragma once
// The English language pack, built into the program: its texts stand in
// for the messages a loaded pack leaves empty, or when no pack loads.

#include <cstddef>

extern const unsigned char kBuiltInEnglishPack[];
extern const std::size_t kBuiltInEnglishPackSize;
