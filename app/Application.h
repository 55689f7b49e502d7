#pragma once
// The application object: it stands between every event and its handler,
// so that an exception a handler lets through is shown in an error box
// instead of ending the program; the silent abort is swallowed.

#include <QApplication>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows an exception as the application object does.
    static void ShowException(const std::exception& e);
};
