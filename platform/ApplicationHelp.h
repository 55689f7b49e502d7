#pragma once
// The application object's help properties: the help file of the language
// in use, the window that help windows belong to, the hook that a help
// request reaches first, and the one that reports a help file that cannot be
// read. Main thread only.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace platform {

struct ApplicationHelp {
    QString helpFile;
    QPointer<QWidget> handle;
    // Command, data, and whether the toolkit should go on to show help; the
    // result is the hook's own and nothing relies on it.
    std::function<bool(uint16_t command, intptr_t data, bool& callHelp)> onHelp;
    // Tells the user that a help file is there but cannot be read (damaged,
    // or no help file at all). Unset: the help viewer says so in English.
    std::function<void(const QString& file)> onUnreadableFile;
};

ApplicationHelp& applicationHelp();

}  // namespace platform
