#pragma once
// TFrmIconEx: the icon window, a tool window on top of the others that
// shows the selected icon in its large and its small size. The main window
// places and fills the two pictures.

#include <QWidget>

#include <functional>

class QLabel;

class TFrmIconEx : public QWidget {
    Q_OBJECT

public:
    // Owner: the main window, which the window is centred on.
    explicit TFrmIconEx(QWidget* Owner);

    QLabel* Image1;  // the large icon
    QLabel* Image2;  // the small icon

    // Called when the user closed the window while the main window is not
    // closing: the main window turns its setting off.
    std::function<void()> OnUserClose;

    void FormCreate();
    void FormCloseQuery(bool& CanClose);

protected:
    void closeEvent(QCloseEvent* event) override;
};
