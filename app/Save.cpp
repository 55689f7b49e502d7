#include "app/Save.h"

#include "app/myutils.h"
#include "kxCommon/KXButton.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

// The design's client width; the height follows what the variant shows.
constexpr int kClientWidth = 473;

}  // namespace

TRadioGroup::TRadioGroup(const QStringList& Items, int Columns, QWidget* Parent)
    : QGroupBox(Parent), FGroup(new QButtonGroup(this))
{
    auto* grid = new QGridLayout(this);
    const int rows = (static_cast<int>(Items.size()) + Columns - 1) / Columns;
    for (int i = 0; i < Items.size(); ++i) {
        auto* item = new QRadioButton(Items[i], this);
        FGroup->addButton(item, i);
        grid->addWidget(item, i % rows, i / rows);
        FItems.push_back(item);
    }
    connect(FGroup, &QButtonGroup::idClicked, this, [this] {
        if (OnClick)
            OnClick();
    });
}

int TRadioGroup::ItemIndex() const { return FGroup->checkedId(); }

void TRadioGroup::SetItemIndex(int Value)
{
    if (Value >= 0 && Value < Count()) {
        FItems[static_cast<size_t>(Value)]->setChecked(true);
    } else if (QAbstractButton* checked = FGroup->checkedButton()) {
        FGroup->setExclusive(false);
        checked->setChecked(false);
        FGroup->setExclusive(true);
    }
}

TSaveFrm::TSaveFrm(QWidget* AOwner) : QDialog(AOwner)
{
    setWindowTitle(QStringLiteral("Export"));

    HTMLPanel = new QWidget(this);
    Label1 = new QLabel(QStringLiteral("&Column count:"), HTMLPanel);
    Edit1 = new QLineEdit(HTMLPanel);
    Edit1->setMaxLength(5);
    // Typed keys are filtered below; this keeps pasted text to digits too.
    Edit1->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Edit1));
    Edit1->installEventFilter(this);
    Label1->setBuddy(Edit1);
    Label6 = new QLabel(QStringLiteral("Target &image format:"), HTMLPanel);
    ImageTypeCombo = new QComboBox(HTMLPanel);
    ImageTypeCombo->addItems({QStringLiteral("PNG"), QStringLiteral("JPEG"), QStringLiteral("GIF")});
    Label6->setBuddy(ImageTypeCombo);
    BorderCheck = new QCheckBox(QStringLiteral("Draw table &border"), HTMLPanel);
    NumberCheck = new QCheckBox(QStringLiteral("Include icon &numbers"), HTMLPanel);
    auto* html = new QGridLayout(HTMLPanel);
    html->setContentsMargins(0, 0, 0, 0);
    html->addWidget(Label1, 0, 0);
    html->addWidget(Edit1, 0, 1);
    html->addWidget(Label6, 1, 0);
    html->addWidget(ImageTypeCombo, 1, 1);
    html->addWidget(BorderCheck, 2, 0, 1, 3);
    html->addWidget(NumberCheck, 3, 0, 1, 3);
    html->setColumnStretch(2, 1);

    FieldGrp = new QGroupBox(QStringLiteral("Field to store icons"), this);
    Label2 = new QLabel(QStringLiteral("Field type:"), FieldGrp);
    Label3 = new QLabel(QStringLiteral("B (Binary)"), FieldGrp);
    Label4 = new QLabel(QStringLiteral("Field name:"), FieldGrp);
    FieldEdit = new QLineEdit(QStringLiteral("ICON"), FieldGrp);
    FieldEdit->setMaxLength(10);
    Label4->setBuddy(FieldEdit);
    auto* field = new QGridLayout(FieldGrp);
    field->addWidget(Label2, 0, 0);
    field->addWidget(Label3, 0, 1);
    field->addWidget(Label4, 1, 0);
    field->addWidget(FieldEdit, 1, 1);
    field->setRowStretch(2, 1);

    TypeGrp = new TRadioGroup({QStringLiteral("Icon"), QStringLiteral("Bitmap"), QStringLiteral("JPEG"),
                               QStringLiteral("Metafile"), QStringLiteral("GIF"), QStringLiteral("PNG")},
                              2, this);
    TypeGrp->setTitle(QStringLiteral("Export as"));
    TypeGrp->SetItemIndex(0);
    TypeGrp->OnClick = [this] { TypeGrpClick(); };
    auto* groups = new QHBoxLayout;
    groups->addWidget(FieldGrp, 1);
    groups->addWidget(TypeGrp, 1);

    GrayScaleCheck = new QCheckBox(QStringLiteral("Convert images to &gray scale"), this);
    Label5 = new QLabel(
        QStringLiteral(
            "To skip this window and use current settings, call this function holding CTRL+SHIFT down."),
        this);
    Label5->setWordWrap(true);

    OKBtn = new TKXButton(QStringLiteral("OK"), this);
    OKBtn->SetDefault(true);
    CancelBtn = new TKXButton(QStringLiteral("Cancel"), this);
    HelpBtn = new TKXButton(QStringLiteral("&Help"), this);
    OKBtn->SetModalResult(mrOk);
    CancelBtn->SetModalResult(mrCancel);
    CancelBtn->SetCancel(true);
    HelpBtn->OnClick = [this](QObject*) { HelpBtnClick(); };
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });

    auto* content = new QVBoxLayout;
    content->addWidget(HTMLPanel);
    content->addLayout(groups);
    content->addWidget(GrayScaleCheck);
    content->addWidget(Label5);
    LayOutDialog(this, content, {OKBtn, CancelBtn, HelpBtn});

    FormCreate();
}

void TSaveFrm::FormCreate()
{
    CancelBtn->setText(GetUIText(1));
    HelpBtn->setText(GetUIText(2));
    Label1->setText(GetUIText(301));
    BorderCheck->setText(GetUIText(302));
    NumberCheck->setText(GetUIText(303));
    GrayScaleCheck->setText(GetUIText(304));
    Label5->setText(GetUIText(305));
    Label6->setText(GetUIText(316));
    FieldGrp->setTitle(GetUIText(306));
    Label2->setText(GetUIText(307));
    Label4->setText(GetUIText(308));
    TypeGrp->setTitle(GetUIText(309));
    for (int i = 0; i < TypeGrp->Count(); ++i)
        TypeGrp->Item(i)->setText(GetUIText(310 + i));
}

void TSaveFrm::FormShow()
{
    if (!HTMLPanel->isHidden()) {
        FieldGrp->hide();
        TypeGrp->hide();
        Edit1->isHidden() ? BorderCheck->setFocus() : Edit1->setFocus();
    }
    // The layout moves up what follows hidden controls; the form takes the
    // design's width, or more for longer texts, and the height they need.
    layout()->activate();
    const int w = std::max(kClientWidth, sizeHint().width());
    const int h = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(w) : sizeHint().height();
    setFixedSize(w, std::max(h, minimumSizeHint().height()));
}

void TSaveFrm::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

bool TSaveFrm::Edit1KeyPress(const QString& Key)
{
    for (const QChar c : Key)
        if (c.unicode() >= 32 && (c < u'0' || c > u'9'))
            return false;
    return true;
}

bool TSaveFrm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress
        && !Edit1KeyPress(static_cast<QKeyEvent*>(event)->text()))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TSaveFrm::Edit1Change() { OKBtn->setEnabled(!Edit1->text().trimmed().isEmpty()); }

void TSaveFrm::HelpBtnClick()
{
    if (RunHelp)
        RunHelp(QStringLiteral("export"));
}

void TSaveFrm::TypeGrpClick() { GrayScaleCheck->setEnabled(TypeGrp->ItemIndex() > 0); }
