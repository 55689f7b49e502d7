#include "platform/ApplicationHelp.h"

namespace platform {

ApplicationHelp& applicationHelp()
{
    static ApplicationHelp help;
    return help;
}

}  // namespace platform
