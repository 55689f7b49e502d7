// Writes every icon group of a module into an .ico file in memory.
#include "kxCommon/kxIconUtils.h"

#include "platform/Exceptions.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto module = PeModule::fromBytes(Bytes(data, size));
    if (!module)
        return 0;
    QStringList names;
    int n = 0;
    for (const ResourceId& name : module->resourceNames(ResourceId::fromType(ResType::GroupIcon))) {
        if (++n > 32)
            break;
        EnumIconGroupNamesProc(name, names);
    }
    for (const QString& name : names) {
        int count = 0;
        QString error;
        try {
            const QByteArray ico = BuildIconGroupFile(*module, "fuzz.dll", name, count, error);
            if (!ico.isEmpty() && ico.size() < 6 + 16 * count)
                __builtin_trap();
        } catch (const ConvertError&) {}
    }
    return 0;
}
