// The main window's tool bar: soft buttons for the commands, pop-up
// buttons for the open, save and options menus.
#include "app/Unit1.h"

#include "app/ToolBarGlyphs.h"
#include "app/myutils.h"
#include "kxCommon/KXButton.h"
#include "kxCommon/KXCtrl.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolBar>

namespace {

constexpr int kButtonSize = 27;
constexpr int kPopupWidth = 40;

template <typename Button>
Button* makeButton(QWidget* parent, QHBoxLayout* layout, const char* name, TToolGlyph glyph)
{
    auto* button = new Button(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFixedSize(std::is_same_v<Button, TkxPopupButton> ? kPopupWidth : kButtonSize, kButtonSize);
    button->SetGlyph([glyph] { return ToolBarGlyph(glyph); }, kToolBarGlyphCells);
    button->SetFlat(true);
    layout->addWidget(button);
    return button;
}

}  // namespace

void TForm1::CreateToolBar()
{
    auto* toolbar = addToolBar(QStringLiteral("Main"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    // Without a menu bar nothing would bring a hidden bar back.
    toolbar->toggleViewAction()->setVisible(false);
    FToolBar = new QWidget(toolbar);
    FToolBar->setObjectName(QStringLiteral("ToolBar"));
    FToolBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    FToolBarLayout = new QHBoxLayout(FToolBar);
    FToolBarLayout->setContentsMargins(2, 2, 2, 2);
    FToolBarLayout->setSpacing(1);
    const auto gap = [this] { FToolBarLayout->addSpacing(8); };

    FOpenBtn = makeButton<TkxPopupButton>(FToolBar, FToolBarLayout, "OpenBtn", tgOpen);
    FOpenBtn->SetSeparateDropDown(true);
    FOpenBtn->SetDropDownComponent(FMRUPopup);
    FOpenBtn->OnClick = [this](QObject*) { OpenBtnClick(); };
    FSaveBtn = makeButton<TkxPopupButton>(FToolBar, FToolBarLayout, "SaveBtn", tgSave);
    FSaveBtn->SetDropDownComponent(FPopupSave);
    gap();
    FCopyBtn = makeButton<TkxSoftButton>(FToolBar, FToolBarLayout, "CopyBtn", tgCopy);
    FCopyBtn->OnClick = [this](QObject*) { CopyBtnClick(); };
    FPrintBtn = makeButton<TkxSoftButton>(FToolBar, FToolBarLayout, "PrintBtn", tgPrint);
    FPrintBtn->OnClick = [this](QObject*) { PrintBtnClick(); };
    FRefreshBtn = makeButton<TkxSoftButton>(FToolBar, FToolBarLayout, "RefreshBtn", tgRefresh);
    FRefreshBtn->OnClick = [this](QObject*) { RefreshBtnClick(); };
    gap();
    FOptionsBtn = makeButton<TkxPopupButton>(FToolBar, FToolBarLayout, "OptionsBtn", tgOptions);
    FOptionsBtn->SetDropDownComponent(FOptionsMenu);
    gap();
    FHelpBtn = makeButton<TkxSoftButton>(FToolBar, FToolBarLayout, "HelpBtn", tgHelp);
    FHelpBtn->OnClick = [this](QObject*) { HelpBtnClick(); };
    FAboutBtn = makeButton<TkxSoftButton>(FToolBar, FToolBarLayout, "AboutBtn", tgAbout);
    FAboutBtn->OnClick = [this](QObject*) { AboutBtnClick(); };
    FToolBarLayout->addStretch(1);
    Label1 = new Tkx3DLabel(FToolBar);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setText(QStringLiteral("Pictorium"));
    QFont title = Label1->font();
    title.setBold(true);
    title.setPointSize(title.pointSize() + 2);
    Label1->setFont(title);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->SetTransparent(true);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->installEventFilter(this);  // a click runs Label1Click
    FToolBarLayout->addWidget(Label1);
    FToolBarLayout->addSpacing(6);
    toolbar->addWidget(FToolBar);
}

void TForm1::SetToolBarEnabled(bool Enabled)
{
    for (TkxSoftButton* button : {static_cast<TkxSoftButton*>(FSaveBtn), FCopyBtn, FPrintBtn, FRefreshBtn})
        button->setEnabled(Enabled);
}

void TForm1::ApplyToolBarTexts()
{
    const std::pair<TkxSoftButton*, int> hints[] = {
        {FOpenBtn, 103},    {FSaveBtn, 104},    {FCopyBtn, 105}, {FPrintBtn, 106},
        {FRefreshBtn, 107}, {FOptionsBtn, 108}, {FHelpBtn, 109}, {FAboutBtn, 110},
    };
    for (const auto& [button, id] : hints)
        SetHint(button, GetUIText(id));
}
