#pragma once
// The application object: it stands between every event and its handler,
// so that an exception a handler lets through is shown in an error box
// instead of ending the program; the silent abort is swallowed.

#include <QApplication>
#include <QByteArray>

// What the toolkit's start-up needs around it; constructed before the
// toolkit's application object.
class ToolkitStartUp {
protected:
    ToolkitStartUp();
    ~ToolkitStartUp();
    ToolkitStartUp(const ToolkitStartUp&) = delete;
    ToolkitStartUp& operator=(const ToolkitStartUp&) = delete;
    // Called once the toolkit has started: puts the environment back.
    void Finish();

private:
    QByteArray FRuntimeFolder;
    bool FOwnLoopAsked = false;
};

class TApplication : private ToolkitStartUp, public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows an exception as the application object does.
    static void ShowException(const std::exception& e) noexcept;
};
