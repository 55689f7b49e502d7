#pragma once
// TAboutFrm: the product name, its version and the program's icon, with
// links. Its texts stay in English.

#include <QDialog>
#include <QLabel>

#include <functional>

class TKXButton;

// A label that reacts to clicks, with a hand cursor.
class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    TLinkLabel(const QString& Text, QWidget* Parent);
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TAboutFrm : public QDialog {
    Q_OBJECT

public:
    // ProgramIcon: the program's 32 x 32 icon.
    TAboutFrm(QWidget* AOwner, const QImage& ProgramIcon);

    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label5;
    TLinkLabel* Label3;
    TLinkLabel* Label6;
    TKXButton* Button1;

    // Shows a help topic (the main window's RunHelp); Label3 opens the help
    // contents, as the program has no web page.
    std::function<void(const QString& Topic)> RunHelp;

    void Label4Click(QObject* Sender);
};
