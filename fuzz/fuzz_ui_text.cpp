// Reads every text of a language pack through the program's text lookup and
// fills each with arguments, as the messages do; the input also serves as a
// format text itself.
#include "app/Unit1.h"
#include "app/myutils.h"

#include <cstddef>
#include <cstdint>

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString raw
        = QString::fromUtf16(reinterpret_cast<const char16_t*>(data), static_cast<qsizetype>(size / 2));
    (void)FormatUIText(raw, {QString("name%s"), 42});

    LangModule = PeModule::fromBytes(Bytes(data, size));
    if (LangModule) {
        int blocks = 0;
        for (const ResourceId& name : LangModule->resourceNames(ResourceId::fromType(ResType::String))) {
            if (!name.isId() || ++blocks > 64)
                continue;
            const int32_t first = (int32_t {*name.id} - 1) * 16;
            for (int32_t id = first; id < first + 16; ++id) {
                const QString text = GetUIText(id);
                if (text.size() > kMaxUITextLength)
                    __builtin_trap();
                (void)FormatUIText(text, {QString("%d"), 7});
            }
        }
        (void)GetUIText(50000);
    }
    LangModule.reset();
    return 0;
}
