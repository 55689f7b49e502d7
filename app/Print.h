#pragma once
// TPrintFrm: what to print (the whole grid or the selected icon) and at
// what scale. The caller reads the choices after OK.

#include <QDialog>

#include <functional>

class QLabel;
class TKXButton;
class QRadioButton;

class TPrintFrm : public QDialog {
    Q_OBJECT

public:
    // ItemIndex: the grid's selected icon, below 0 for none.
    TPrintFrm(QWidget* AOwner, int ItemIndex);

    QLabel* Label1;
    QRadioButton* FullBtn;
    QRadioButton* SelBtn;
    QWidget* Panel1;
    QLabel* Label2;
    QRadioButton* RealBtn;
    QRadioButton* FitBtn;
    TKXButton* OKBtn;
    TKXButton* CancelBtn;
    TKXButton* HelpBtn;

    // Shows a help topic (the main window's RunHelp).
    std::function<void(const QString& Topic)> RunHelp;

    void FormCreate(int ItemIndex);
    void HelpBtnClick();
};
