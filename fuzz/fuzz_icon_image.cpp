// Reads its input as an .ico file (directory, then every image) and as one
// icon image, and makes icons of what decodes, as the loader would.
#include "platform/IconImage.h"
#include "platform/ShellIcons.h"

#include <QPainter>

#include <cstddef>
#include <cstdint>

using namespace platform;

namespace {

void use(Icon icon)
{
    if (icon.isNull())
        return;
    const QImage pixels = icon.toImage();
    QImage canvas(8, 8, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(0xFFFFFFFF);
    QPainter painter(&canvas);
    icon.draw(painter, -2, -2, 12, 12);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    if (const auto entries = readIcoDirectory(bytes)) {
        int decoded = 0;
        for (const IconDirEntry& e : *entries) {
            if (e.location >= size || ++decoded > 16)
                continue;
            const auto image
                = decodeIconImage(bytes.subspan(e.location, std::min<uint64_t>(e.bytes, size - e.location)));
            if (image)
                use(Icon(*image, 16, 16));
        }
        (void)rankIconImages(*entries, kLargeIconSize);
        use(iconFromIcoFile(bytes, kLargeIconSize));
    }
    if (auto image = decodeIconImage(bytes)) {
        use(Icon(*image));
        use(Icon(std::move(*image), kLargeIconSize, kLargeIconSize));
    }
    (void)readGroupDirectory(bytes);
    return 0;
}
