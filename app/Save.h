#pragma once
// TSaveFrm: the options of the HTML, dBASE and PDF exports. One form serves
// the three; the caller hides what does not apply before showing it and
// reads the controls back after OK.

#include <QDialog>
#include <QGroupBox>

#include <functional>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class TKXButton;
class QRadioButton;

// A group of radio items in columns whose index is the checked item.
class TRadioGroup : public QGroupBox {
    Q_OBJECT

public:
    TRadioGroup(const QStringList& Items, int Columns, QWidget* Parent = nullptr);
    int ItemIndex() const;
    void SetItemIndex(int Value);
    QRadioButton* Item(int Index) const { return FItems[static_cast<size_t>(Index)]; }
    int Count() const { return static_cast<int>(FItems.size()); }
    // Called when the user picks an item.
    std::function<void()> OnClick;

private:
    std::vector<QRadioButton*> FItems;
    QButtonGroup* FGroup;
};

class TSaveFrm : public QDialog {
    Q_OBJECT

public:
    explicit TSaveFrm(QWidget* AOwner);

    QWidget* HTMLPanel;
    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label6;
    QComboBox* ImageTypeCombo;
    QCheckBox* BorderCheck;
    QCheckBox* NumberCheck;
    QGroupBox* FieldGrp;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLineEdit* FieldEdit;
    TRadioGroup* TypeGrp;
    QCheckBox* GrayScaleCheck;
    QLabel* Label5;
    TKXButton* OKBtn;
    TKXButton* CancelBtn;
    TKXButton* HelpBtn;

    // Shows a help topic (the main window's RunHelp).
    std::function<void(const QString& Topic)> RunHelp;

    void FormCreate();
    void FormShow();
    // True when the key's character may go into the column count.
    static bool Edit1KeyPress(const QString& Key);
    void Edit1Change();
    void HelpBtnClick();
    void TypeGrpClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
