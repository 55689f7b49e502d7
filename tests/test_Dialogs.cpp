// The export-options, print-options and about forms and the icon window.
#include "app/About.h"
#include "app/IconEx.h"
#include "app/Print.h"
#include "app/Save.h"
#include "app/Unit1.h"
#include "app/myutils.h"
#include "platform/PeModule.h"
#include "platform/Shell.h"

#include "TestApplication.h"

#include "kxCommon/KXButton.h"
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApplication();
        LangModule = platform::PeModule::open(QStringLiteral(LANG_PACK));
        ASSERT_TRUE(LangModule);
    }
    void TearDown() override { LangModule.reset(); }
};

}  // namespace

TEST_F(Dialogs, ExportOptionsColumnCountTakesDigitsOnly)
{
    TSaveFrm form(nullptr);
    EXPECT_EQ(form.Label1->text(), GetUIText(301));
    EXPECT_EQ(form.TypeGrp->Item(5)->text(), GetUIText(315));
    EXPECT_EQ(form.OKBtn->text(), "OK");  // not from the pack
    form.Edit1->setText(QStringLiteral("12"));
    EXPECT_TRUE(form.OKBtn->isEnabled());
    form.Edit1->clear();
    EXPECT_FALSE(form.OKBtn->isEnabled());

    // Typed: letters and blanks go nowhere, digits and control keys work.
    QTest::keyClicks(form.Edit1, QStringLiteral("a 4x2"));
    EXPECT_EQ(form.Edit1->text(), "42");
    QTest::keyClick(form.Edit1, Qt::Key_Backspace);
    EXPECT_EQ(form.Edit1->text(), "4");
    QTest::keyClick(form.Edit1, Qt::Key_Backspace);
    EXPECT_FALSE(form.OKBtn->isEnabled());
    QTest::keyClicks(form.Edit1, QStringLiteral("1234567"));
    EXPECT_EQ(form.Edit1->text(), "12345");                        // five characters at most
    EXPECT_TRUE(TSaveFrm::Edit1KeyPress(QStringLiteral("\x16")));  // Ctrl+V and its kin
    EXPECT_FALSE(TSaveFrm::Edit1KeyPress(QStringLiteral("-")));
}

TEST_F(Dialogs, ExportOptionsIconTypeDisablesGreyScale)
{
    TSaveFrm form(nullptr);
    form.HTMLPanel->hide();
    form.show();
    form.TypeGrp->SetItemIndex(0);
    form.TypeGrpClick();
    EXPECT_FALSE(form.GrayScaleCheck->isEnabled());
    QTest::mouseClick(form.TypeGrp->Item(5), Qt::LeftButton);
    EXPECT_EQ(form.TypeGrp->ItemIndex(), 5);
    EXPECT_TRUE(form.GrayScaleCheck->isEnabled());
    QTest::mouseClick(form.TypeGrp->Item(0), Qt::LeftButton);
    EXPECT_FALSE(form.GrayScaleCheck->isEnabled());

    // Shown without the HTML panel, the dBASE groups stay; with it, they go.
    EXPECT_TRUE(form.FieldGrp->isVisible());
    form.hide();
    TSaveFrm html(nullptr);
    html.show();
    EXPECT_FALSE(html.FieldGrp->isVisible());
    EXPECT_FALSE(html.TypeGrp->isVisible());
    EXPECT_GE(html.width(), 473);
}

TEST_F(Dialogs, PrintOptionsOfferTheSelectionOnlyWhenThereIsOne)
{
    TPrintFrm none(nullptr, -1);
    EXPECT_FALSE(none.SelBtn->isEnabled());
    EXPECT_TRUE(none.FullBtn->isChecked());
    EXPECT_TRUE(none.RealBtn->isChecked());
    EXPECT_EQ(none.windowTitle(), GetUIText(401));
    TPrintFrm one(nullptr, 0);
    EXPECT_TRUE(one.SelBtn->isEnabled());
    // The two choices are separate groups.
    one.SelBtn->click();
    one.FitBtn->click();
    EXPECT_TRUE(one.SelBtn->isChecked());
    EXPECT_TRUE(one.FitBtn->isChecked());
    EXPECT_FALSE(one.FullBtn->isChecked());
    QString topic = QStringLiteral("none");
    one.RunHelp = [&](const QString& t) { topic = t; };
    one.HelpBtn->click();
    EXPECT_EQ(topic, "printing-icons");
}

TEST_F(Dialogs, AboutLinksOpenHelpAndMail)
{
    auto opener = std::make_shared<platform::RecordingShellOpener>();
    platform::setShellOpener(opener);
    TAboutFrm about(nullptr, QImage(32, 32, QImage::Format_ARGB32));
    EXPECT_EQ(about.Label1->text(), "Pictorium");
    EXPECT_EQ(about.Label2->text(), "5.1.0");
    EXPECT_FALSE(about.Label6->isVisibleTo(&about));
    QString topic = QStringLiteral("none");
    about.RunHelp = [&](const QString& t) { topic = t; };
    QTest::mouseClick(about.Label3, Qt::LeftButton);
    EXPECT_EQ(topic, QString());
    about.Label4Click(about.Label6);
    ASSERT_EQ(opener->opened.size(), 1u);
    EXPECT_EQ(opener->opened[0].scheme(), "mailto");
    platform::setShellOpener(nullptr);
}

TEST_F(Dialogs, ClosingTheIconWindowTurnsTheSettingOffUnlessTheMainWindowCloses)
{
    TFrmIconEx window(nullptr);
    EXPECT_EQ(window.windowTitle(), GetUIText(111));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    bool told = false;
    window.OnUserClose = [&] { told = true; };

    ShowSeparateWindow = true;
    MainFormClosing = true;
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(ShowSeparateWindow);
    EXPECT_FALSE(told);

    MainFormClosing = false;
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(ShowSeparateWindow);
    EXPECT_TRUE(told);
    ShowSeparateWindow = true;
}

TEST_F(Dialogs, LongerTextsGrowTheExportOptionsInsteadOfBeingCut)
{
    TSaveFrm form(nullptr);
    const QString longer = QStringLiteral("Перетворити зображення на відтінки сірого, довгий переклад");
    form.BorderCheck->setText(longer);
    form.Label1->setText(longer);
    form.CancelBtn->setText(QStringLiteral("Скасувати операцію"));
    form.show();
    EXPECT_GT(form.width(), 473);
    for (QWidget* w :
         std::initializer_list<QWidget*> {form.BorderCheck, form.Label1, form.CancelBtn, form.Edit1})
        EXPECT_GE(w->width(), w->sizeHint().width()) << w->metaObject()->className();
    EXPECT_LE(form.BorderCheck->mapTo(&form, QPoint(form.BorderCheck->width(), 0)).x(), form.width());
}
