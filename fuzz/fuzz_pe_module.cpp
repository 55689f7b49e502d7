// Reads every resource a module offers, and the icons of its groups, as
// the program would.
#include "platform/PeModule.h"
#include "platform/ShellIcons.h"

#include <cstddef>
#include <cstdint>

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto module = PeModule::fromBytes(Bytes(data, size));
    if (!module)
        return 0;
    for (ResType t : {ResType::Icon, ResType::GroupIcon, ResType::String, ResType::Version}) {
        const ResourceId type = ResourceId::fromType(t);
        (void)module->resourceCount(type);
        int n = 0;
        for (const ResourceId& name : module->resourceNames(type)) {
            if (++n > 64)
                break;
            (void)module->findResource(type, name);
        }
    }
    // The icons of the first groups, as the loader makes them for the grid.
    IconImageCache cache;
    const ResourceId groupType = ResourceId::fromType(ResType::GroupIcon);
    int groups = 0;
    for (const ResourceId& name : module->resourceNames(groupType)) {
        if (++groups > 32)
            break;
        if (const auto group = module->findResource(groupType, name))
            (void)iconFromGroup(*module, *group, kLargeIconSize, cache);
    }
    for (uint32_t id : {0u, 1u, 17u, 50000u, 65535u})
        (void)module->loadString(id);
    if (auto v = module->versionResource()) {
        (void)version::queryValue(*v, "\\VarFileInfo\\Translation");
        (void)version::queryString(*v, "\\StringFileInfo\\040904E4\\FileVersion");
        (void)version::queryValue(*v, "\\");
    }
    return 0;
}
