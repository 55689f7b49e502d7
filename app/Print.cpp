#include "app/Print.h"

#include "app/myutils.h"
#include "kxCommon/KXButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

TPrintFrm::TPrintFrm(QWidget* AOwner, int ItemIndex) : QDialog(AOwner)
{
    setWindowTitle(QStringLiteral("Printing icon(s)"));
    Label1 = new QLabel(QStringLiteral("Image to print:"), this);
    FullBtn = new QRadioButton(QStringLiteral("&Full image"), this);
    SelBtn = new QRadioButton(QStringLiteral("&Selected image"), this);
    FullBtn->setChecked(true);
    // The scale's buttons are a group of their own on the panel.
    Panel1 = new QWidget(this);
    Label2 = new QLabel(QStringLiteral("Scale:"), Panel1);
    RealBtn = new QRadioButton(QStringLiteral("&Actual size"), Panel1);
    FitBtn = new QRadioButton(QStringLiteral("Fit to &page"), Panel1);
    RealBtn->setChecked(true);
    OKBtn = new TKXButton(QStringLiteral("OK"), this);
    OKBtn->SetDefault(true);
    CancelBtn = new TKXButton(QStringLiteral("Cancel"), this);
    HelpBtn = new TKXButton(QStringLiteral("&Help"), this);
    OKBtn->SetModalResult(mrOk);
    CancelBtn->SetModalResult(mrCancel);
    CancelBtn->SetCancel(true);
    HelpBtn->OnClick = [this](QObject*) { HelpBtnClick(); };

    auto* panel = new QVBoxLayout(Panel1);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addWidget(Label2);
    panel->addWidget(RealBtn);
    panel->addWidget(FitBtn);
    auto* content = new QVBoxLayout;
    content->addWidget(Label1);
    content->addWidget(FullBtn);
    content->addWidget(SelBtn);
    content->addSpacing(10);
    content->addWidget(Panel1);
    LayOutDialog(this, content, {OKBtn, CancelBtn, HelpBtn});

    FormCreate(ItemIndex);
    // The design's client size, or more when the texts need it.
    setFixedSize(sizeHint().expandedTo(QSize(360, 205)));
}

void TPrintFrm::FormCreate(int ItemIndex)
{
    CancelBtn->setText(GetUIText(1));
    HelpBtn->setText(GetUIText(2));
    setWindowTitle(GetUIText(401));
    Label1->setText(GetUIText(402));
    FullBtn->setText(GetUIText(403));
    SelBtn->setText(GetUIText(404));
    Label2->setText(GetUIText(405));
    RealBtn->setText(GetUIText(406));
    FitBtn->setText(GetUIText(407));
    SelBtn->setEnabled(ItemIndex >= 0);
}

void TPrintFrm::HelpBtnClick()
{
    if (RunHelp)
        RunHelp(QStringLiteral("printing-icons"));
}
