#pragma once
// Opening a file or an address with the desktop's program for it (the
// shell's default action), behind one interface so tests can record it.

#include <QUrl>

#include <memory>
#include <vector>

namespace platform {

class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    // The result is not reported: the desktop shows its own errors.
    virtual void open(const QUrl& target) = 0;
};

// QDesktopServices, which asks xdg-open on Linux.
class DesktopShellOpener : public ShellOpener {
public:
    void open(const QUrl& target) override;
};

// For tests: records what would have been opened.
class RecordingShellOpener : public ShellOpener {
public:
    void open(const QUrl& target) override { opened.push_back(target); }
    std::vector<QUrl> opened;
};

ShellOpener& shellOpener();
// Replaces the opener; nullptr restores the desktop one.
void setShellOpener(std::shared_ptr<ShellOpener> opener);

}  // namespace platform
