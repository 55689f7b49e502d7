// The save and export commands of the main window, with their dialogs
// scripted.
#include "app/Save.h"
#include "app/myutils.h"
#include "kxCommon/kxDialog.h"

#include "FileBytes.h"
#include "MainWindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

namespace {

using Commands = MainWindowFixture;

QString firstBytes(const QString& path, int n)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.read(n)) : QString();
}

}  // namespace

TEST(SaveDialogFilter, DefaultExtensionOfEveryFilterIndex)
{
    const QString pictures = QStringLiteral(
        "Bitmap (*.bmp)|*.bmp|JPEG image (*.jpg)|*.jpg;*.jpeg|Enhanced metafile (*.emf)|*.emf|"
        "GIF image (*.gif)|*.gif|PNG image (*.png)|*.png");
    const QString icon = QStringLiteral("Icon (*.ico)|*.ico|") + pictures;
    const char* expected[] = {"ico", "bmp", "jpg", "emf", "gif", "png"};
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(FilterDefaultExt(icon, i), expected[i - 1]) << i;
    EXPECT_EQ(FilterDefaultExt(QStringLiteral("HTML page (*.htm)|*.htm;*.html"), 1), "htm");
    EXPECT_EQ(FilterDefaultExt(QStringLiteral("Any file (*.*)|*.*"), 1), "");
    EXPECT_EQ(FilterDefaultExt(QString(), 1), "");
    // The filter as a file dialog shows it keeps its order, so indexes agree.
    const QStringList shown = DialogFilter(icon).split(QStringLiteral(";;"));
    ASSERT_EQ(shown.size(), 6);
    EXPECT_EQ(shown[2], "JPEG image (*.jpg *.jpeg)");
}

TEST_F(Commands, OpenDialogsAnyFileListsNamesWithoutADot)
{
    QTemporaryDir dir;
    for (const char* name : {"pictorium", "copy.dll", "a.b.exe"})
        ASSERT_TRUE(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    // The patterns a file dialog takes from each entry: the last bracket.
    const auto listed = [&](const QString& entry) {
        const qsizetype open = entry.lastIndexOf(u'(');
        const QStringList patterns = entry.mid(open + 1).chopped(1).split(u' ');
        return QDir(dir.path()).entryList(patterns, QDir::Files, QDir::Name);
    };
    ASSERT_TRUE(GetUIText(802).endsWith(QStringLiteral("|Any file (*.*)|*.*")));
    const QStringList shown = DialogFilter(GetUIText(802)).split(QStringLiteral(";;"));
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown.front(), "Executable files (*.exe)");
    EXPECT_EQ(shown.back(), "Any file (*)");
    EXPECT_EQ(listed(shown.back()), QStringList({"a.b.exe", "copy.dll", "pictorium"}));
    // Only the whole pattern "*.*" is every file.
    EXPECT_EQ(DialogFilter(QStringLiteral("Some (*.*;*.x.*)|*.*;*.x.*")), "Some (* *.x.*)");
}

TEST_F(Commands, SaveDialogProposesAFreeNameAndRemembersFolderAndFilter)
{
    OpenAfterSave = false;
    QFile(out.filePath("groups32.png")).open(QIODevice::WriteOnly);
    QFile(out.filePath("groups321.png")).open(QIODevice::WriteOnly);

    answerSave("first.png", 5);
    form->SaveAllAsOneClick();
    EXPECT_EQ(QImage(out.filePath("first.png")).format() != QImage::Format_Invalid, true);
    // The folder and the filter stay for the next command.
    form->SaveAllAsOneClick();  // cancelled: nothing more is written
    ASSERT_EQ(dialogs->saveRequests.size(), 2u);
    const platform::SaveRequest& second = dialogs->saveRequests[1];
    EXPECT_EQ(second.title, GetUIText(701));
    EXPECT_EQ(second.initialDir, out.path());
    EXPECT_EQ(second.filterIndex, 5);
    EXPECT_EQ(second.defaultExt, "png");
    EXPECT_EQ(second.proposedName, "groups322");
    // Another filter chosen in the dialog changes the default extension.
    ASSERT_TRUE(second.onTypeChange);
    EXPECT_EQ(second.onTypeChange(2), "jpg");
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 3);

    // Six entries for the selected icon; the index stays where it was.
    form->SaveSelClick();
    EXPECT_EQ(dialogs->saveRequests.back().filters.size(), 6);
    EXPECT_EQ(dialogs->saveRequests.back().filterIndex, 2);
    EXPECT_EQ(dialogs->saveRequests.back().defaultExt, "bmp");
    // An index past the next filter's entries starts at its first.
    answerSave("sel.png", 6);
    form->SaveSelClick();
    form->SaveAllAsOneClick();
    EXPECT_EQ(dialogs->saveRequests.back().filterIndex, 1);
    EXPECT_EQ(dialogs->saveRequests.back().defaultExt, "bmp");
}

TEST_F(Commands, ExportOptionsGoBackToTheSettingsOrAreSkippedWithShiftCtrl)
{
    OpenAfterSave = false;
    HtmlColumnCount = 3;
    forms->answer = [](QDialog& d) {
        auto& f = static_cast<TSaveFrm&>(d);
        EXPECT_EQ(f.windowTitle(), GetUIText(704));
        EXPECT_EQ(f.Edit1->text(), "3");
        EXPECT_TRUE(f.FieldGrp->isHidden());
        f.Edit1->setText(QStringLiteral(" 0 "));
        f.NumberCheck->setChecked(false);
        f.ImageTypeCombo->setCurrentIndex(2);
        return int(QDialog::Accepted);
    };
    answerSave("page.htm", 1);
    form->NHTMClick();
    EXPECT_EQ(forms->shown, 1);
    EXPECT_EQ(HtmlColumnCount, 1);  // a count of 0 would give no table
    EXPECT_FALSE(ExpIncludeNumbers);
    EXPECT_EQ(ExpTargetImageType, 2);
    EXPECT_TRUE(QFileInfo(out.filePath("page.htm")).isFile());
    EXPECT_EQ(QDir(out.filePath("page_files")).entryList({"*.gif"}, QDir::Files).size(), 3);
    EXPECT_EQ(dialogs->saveRequests.back().title, GetUIText(703));

    // Held Shift and Ctrl: no form, the settings as they are.
    forms->modifiers = Qt::ShiftModifier | Qt::ControlModifier;
    for (auto command : {&TForm1::NHTMClick, &TForm1::NDBFClick, &TForm1::NPDFClick}) {
        dialogs->saves.push_back({out.filePath("skipped"), 1});
        (form.get()->*command)();
    }
    EXPECT_EQ(forms->shown, 1);
    EXPECT_TRUE(QFileInfo(out.filePath("skipped.htm")).isFile());
    EXPECT_EQ(firstBytes(out.filePath("skipped"), 5), "%PDF-");  // the name as given
    EXPECT_TRUE(QFileInfo(out.filePath("skipped.dbf")).isFile());

    // Shift alone does not skip; Cancel in the form ends before the save dialog.
    forms->modifiers = Qt::ShiftModifier;
    forms->answer = nullptr;
    const size_t asked = dialogs->saveRequests.size();
    form->NPDFClick();
    form->NDBFClick();
    EXPECT_EQ(forms->shown, 3);
    EXPECT_EQ(dialogs->saveRequests.size(), asked);
}

TEST_F(Commands, PdfAndDbaseFormsShowTheirVariant)
{
    OpenAfterSave = false;
    ExpDBFType = 2;
    forms->answer = [](QDialog& d) {
        auto& f = static_cast<TSaveFrm&>(d);
        if (f.windowTitle() == GetUIText(710)) {
            EXPECT_TRUE(f.Edit1->isHidden());
            EXPECT_TRUE(f.ImageTypeCombo->isHidden());
            EXPECT_FALSE(f.BorderCheck->isHidden());
            f.BorderCheck->setChecked(false);
        } else {
            EXPECT_EQ(f.windowTitle(), GetUIText(706));
            EXPECT_TRUE(f.HTMLPanel->isHidden());
            EXPECT_EQ(f.TypeGrp->ItemIndex(), 2);
            EXPECT_TRUE(f.GrayScaleCheck->isEnabled());
            f.TypeGrp->SetItemIndex(0);
            f.TypeGrpClick();
            f.GrayScaleCheck->setChecked(true);
            f.FieldEdit->setText(QStringLiteral("PICTURE"));
        }
        return int(QDialog::Accepted);
    };
    answerSave("doc.pdf", 1);
    form->NPDFClick();
    EXPECT_FALSE(ExpDrawBorder);
    EXPECT_EQ(firstBytes(out.filePath("doc.pdf"), 5), "%PDF-");
    answerSave("table.dbf", 1);
    form->NDBFClick();
    EXPECT_EQ(ExpDBFType, 0);
    EXPECT_EQ(ExpDBFFieldName, "PICTURE");
    EXPECT_TRUE(ExpGrayScale);
    EXPECT_TRUE(QFileInfo(out.filePath("table.dbt")).size() > 0);
}

TEST_F(Commands, DbaseAsksOnceAboutAMemoFileBesideANewTable)
{
    OpenAfterSave = false;
    forms->modifiers = Qt::ShiftModifier | Qt::ControlModifier;
    {
        QFile memo(out.filePath("t.dbt"));
        ASSERT_TRUE(memo.open(QIODevice::WriteOnly));
        memo.write("keep");
    }
    boxes->answers = {platform::mrNo};
    answerSave("t.dbf", 1);
    form->NDBFClick();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, FormatUIText(GetUIText(609), {out.filePath("t.dbt")}));
    EXPECT_EQ(boxes->shown[0].buttons, unsigned(platform::mbYes | platform::mbNo));
    EXPECT_FALSE(QFileInfo::exists(out.filePath("t.dbf")));
    EXPECT_EQ(QFileInfo(out.filePath("t.dbt")).size(), 4);

    boxes->answers = {platform::mrYes};
    answerSave("t.dbf", 1);
    form->NDBFClick();
    EXPECT_TRUE(QFileInfo::exists(out.filePath("t.dbf")));
    EXPECT_GT(QFileInfo(out.filePath("t.dbt")).size(), 4);
    // The table exists now: the save dialog asked, no second question.
    answerSave("t.dbf", 1);
    form->NDBFClick();
    EXPECT_EQ(boxes->shown.size(), 2u);
}

// Beside a page or table whose name differs only in case, an export asks
// about no file but the ones it replaces, and replaces none of the other's.
TEST_F(Commands, AnExportBesideANameOnlyDifferentInCaseAsksAboutItsOwnFiles)
{
    OpenAfterSave = false;
    forms->modifiers = Qt::ShiftModifier | Qt::ControlModifier;
    answerSave("t.dbf", 1);
    form->NDBFClick();
    answerSave("Page.html", 1);
    form->NHTMClick();
    ASSERT_TRUE(boxes->shown.empty());
    QStringList earlier;
    for (const QString name : {"t.dbf", "t.dbt", "Page.html", "Page_files/ico_groups32_dll0001.png"})
        earlier << name + u' ' + QString::fromLatin1(fixture::readAll(out.filePath(name)).toHex());

    // Another file's icons into the names in upper case: nothing to ask.
    form->SelectFile(QStringLiteral(FIXTURE_DIR "/system/shell32.dll"));
    answerSave("t.DBF", 1);
    form->NDBFClick();
    answerSave("Page.HTML", 1);
    form->NHTMClick();
    EXPECT_TRUE(boxes->shown.empty());
    for (const QString name : {"t.DBF", "t.DBT", "Page.HTML", "Page_FILES/ico_shell32_dll0003.png"})
        EXPECT_TRUE(QFileInfo(out.filePath(name)).isFile()) << name.toStdString();
    QStringList now;
    for (const QString name : {"t.dbf", "t.dbt", "Page.html", "Page_files/ico_groups32_dll0001.png"})
        now << name + u' ' + QString::fromLatin1(fixture::readAll(out.filePath(name)).toHex());
    EXPECT_TRUE(now == earlier) << "the earlier export changed";

    // Again: the question names the page's own pictures, and the memo file
    // of the table in its case.
    boxes->answers = {platform::mrNoToAll};
    answerSave("Page.HTML", 1);
    form->NHTMClick();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text,
              FormatUIText(GetUIText(609), {out.filePath("Page_FILES/ico_shell32_dll0001.png")}));
    ASSERT_TRUE(QFile::remove(out.filePath("t.DBF")));
    boxes->answers = {platform::mrNo};
    answerSave("t.DBF", 1);
    form->NDBFClick();
    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_EQ(boxes->shown[1].text, FormatUIText(GetUIText(609), {out.filePath("t.DBT")}));
}

TEST_F(Commands, SaveAllOfTheListedFilesReportsTheTotal)
{
    QTemporaryDir listed;
    QFile::copy(QStringLiteral(FIXTURE_DIR "/groups32.dll"), listed.filePath("a.dll"));
    QFile::copy(QStringLiteral(FIXTURE_DIR "/loader.dll"), listed.filePath("b.dll"));
    QFile::copy(QStringLiteral(FIXTURE_DIR "/broken.dll"), listed.filePath("b_broken.dll"));
    QFile::copy(QStringLiteral(FIXTURE_DIR "/groups32.dll"), listed.filePath("c.dll"));
    // b.dll's sixth icon cannot be read, and no icon of b_broken.dll: they
    // are left out, the run goes on, and both are named at the end.
    const int expected = 3 + 6 + 3;
    dialogs->folders = {out.path()};
    form->SaveAllListClick(5, listed.path(), {"a.dll", "b.dll", "b_broken.dll", "gone.dll", "c.dll"});
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), expected);
    EXPECT_EQ(QDir(out.path()).entryList({"ico_c_dll*.png"}, QDir::Files).size(), 3);
    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_EQ(boxes->shown[0].text, FormatUIText(GetUIText(603), {expected}));
    EXPECT_EQ(boxes->shown[1].type, platform::MsgType::Warning);
    EXPECT_EQ(
        boxes->shown[1].text,
        QStringLiteral("Icon 6 of \"%1\" cannot be read; it was not saved.\r\n"
                       "No icon of \"%2\" can be read; nothing of it was saved.\r\n"
                       "Cannot read \"%3\": No such file or directory; nothing of it was saved.")
            .arg(listed.filePath("b.dll"), listed.filePath("b_broken.dll"), listed.filePath("gone.dll")));
    boxes->shown.erase(boxes->shown.begin() + 1);
    // The picker starts where the last run ended; Cancel tells nothing.
    form->SaveAllClick(0);
    EXPECT_EQ(dialogs->folderRequests.back().initialDir, out.path());
    EXPECT_EQ(dialogs->folderRequests.back().title, GetUIText(707));
    EXPECT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), expected);
}

TEST_F(Commands, TheFolderPickersTitleIsThePacksEvenWhenEmpty)
{
    // A pack without text 707.
    form.reset();
    QFile::remove(program.filePath("english.lng"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(FIXTURE_DIR "/packs/v51.lng"), program.filePath("english.lng")));
    form = std::make_unique<TForm1>(QStringList(), program.filePath("pictorium"));
    form->FormCreate();
    ASSERT_TRUE(LangModule);
    ASSERT_EQ(GetUIText(707), QString());
    form->SaveAllClick(0);
    ASSERT_EQ(dialogs->folderRequests.size(), 1u);
    EXPECT_EQ(dialogs->folderRequests[0].title, QString());
}

TEST_F(Commands, OpenAfterSaveOpensTheSavedFileOnlyWhenOn)
{
    OpenAfterSave = false;
    answerSave("off.ico", 1);
    form->SaveSelClick();
    EXPECT_TRUE(QFileInfo::exists(out.filePath("off.ico")));
    EXPECT_TRUE(opener->opened.empty());

    OpenAfterSave = true;
    answerSave("on.bmp", 2);
    form->SaveSelClick();
    forms->modifiers = Qt::ShiftModifier | Qt::ControlModifier;
    answerSave("on.pdf", 1);
    form->NPDFClick();
    ASSERT_EQ(opener->opened.size(), 2u);
    EXPECT_EQ(opener->opened[0], QUrl::fromLocalFile(out.filePath("on.bmp")));
    EXPECT_EQ(opener->opened[1], QUrl::fromLocalFile(out.filePath("on.pdf")));

    // A name without extension opens the file that has it.
    QFile(out.filePath("x.png")).open(QIODevice::WriteOnly);
    OpenWithShell(out.filePath("x"), QStringLiteral("png"));
    EXPECT_EQ(opener->opened.back(), QUrl::fromLocalFile(out.filePath("x.png")));
}
