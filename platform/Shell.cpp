#include "platform/Shell.h"

#include <QDesktopServices>

namespace platform {

namespace {

std::shared_ptr<ShellOpener>& current()
{
    static std::shared_ptr<ShellOpener> opener = std::make_shared<DesktopShellOpener>();
    return opener;
}

}  // namespace

void DesktopShellOpener::open(const QUrl& target) { QDesktopServices::openUrl(target); }

ShellOpener& shellOpener() { return *current(); }

void setShellOpener(std::shared_ptr<ShellOpener> opener)
{
    current() = opener ? std::move(opener) : std::make_shared<DesktopShellOpener>();
}

}  // namespace platform
