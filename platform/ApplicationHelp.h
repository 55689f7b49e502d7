#pragma once
// The application object's help properties: the help file of the language
// in use, the window that help windows belong to, and the hook that a help
// request reaches first. Main thread only.

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
};

ApplicationHelp& applicationHelp();

}  // namespace platform
