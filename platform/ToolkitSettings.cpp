#include "platform/ToolkitSettings.h"

#include <QFileInfo>
#include <QSettings>

namespace platform {

namespace {

// The folder the toolkit keeps a user's settings in now: that of any
// program's settings file.
QString userSettingsFolder()
{
    const QSettings probe(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quellmark"));
    return QFileInfo(probe.fileName()).absolutePath();
}

struct Hold {
    int depth = 0;
    // Probed by the outermost hold alone: an inner one would find the
    // stand-in, not the user's folder.
    QString realFolder;
};

Hold& hold()
{
    static Hold h;
    return h;
}

}  // namespace

ToolkitSettingsAway::ToolkitSettingsAway()
{
    Hold& h = hold();
    if (h.depth++ > 0)
        return;
    h.realFolder = userSettingsFolder();
    // No folder can be made below a device file.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
}

ToolkitSettingsAway::~ToolkitSettingsAway()
{
    Hold& h = hold();
    if (--h.depth > 0)
        return;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, h.realFolder);
}

}  // namespace platform
