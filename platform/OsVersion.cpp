#include "platform/OsVersion.h"

#include <QSysInfo>
#include <QVersionNumber>

namespace platform {

OsVersion osVersion()
{
    const QVersionNumber kernel = QVersionNumber::fromString(QSysInfo::kernelVersion());
    return OsVersion {false, kernel.majorVersion(), kernel.minorVersion()};
}

}  // namespace platform
