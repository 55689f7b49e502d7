// Checks an .ico file before it is copied as an icon.
#include "kxCommon/kxIconUtils.h"

#include "platform/ByteReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const platform::Bytes file(data, size);
    // A file taken as valid has every image inside it.
    if (IsValidIconFile(file) && size < 6 + 16 * size_t {platform::le16(file, 4)})
        __builtin_trap();
    return 0;
}
