// The find panel: the folder search into the file list and the list's items.
#include "app/Unit1.h"

#include "app/ToolBarGlyphs.h"
#include "app/myutils.h"
#include "kxCommon/KXButton.h"
#include "kxCommon/KXCtrl.h"
#include "kxCommon/KXImageBox.h"
#include "kxCommon/kxFileUtils.h"
#include "kxCommon/kxFolderTree.h"
#include "platform/AlignedPanel.h"
#include "platform/Exceptions.h"
#include "platform/ShellIcons.h"
#include "platform/UpDown.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

#include <functional>
#include <utility>

namespace {

// The file panel's picture, looked up in the style when the label is first
// shown: a window that is never shown (a batch run) needs none.
class TFirstShownPicture : public QLabel {
public:
    TFirstShownPicture(QWidget* Parent, std::function<QPixmap()> Draw)
        : QLabel(Parent), FDraw(std::move(Draw))
    {}

protected:
    void showEvent(QShowEvent* event) override
    {
        if (FDraw)
            setPixmap(std::exchange(FDraw, nullptr)());
        QLabel::showEvent(event);
    }

private:
    std::function<QPixmap()> FDraw;
};

// Design sizes of the panel.
constexpr int kFindPanelHeight = 210;
constexpr int kFilePanelWidth = 330;
constexpr int kMargin = 8;
// The labels above the tree and the list, and where both begin.
constexpr int kLabelTop = 4;
constexpr int kLabelHeight = 16;
constexpr int kListTop = kLabelTop + kLabelHeight + 2;
// The column left of the list that holds the picture, the count, the
// stopped label and the save-all button: wide enough for the longest word
// of any pack's stopped label.
constexpr int kImgWidth = 88;
constexpr int kSaveAllWidth = 48;

// The list the search fills: the file list, drawn once the search is done.
class TListBoxStrings : public TStrings {
public:
    explicit TListBoxStrings(TKXListBox& list) : m_list(list) {}
    void BeginUpdate() override { m_list.BeginUpdate(); }
    void EndUpdate() override { m_list.EndUpdate(); }
    void Clear() override { m_list.Clear(); }
    void Add(const QString& S) override { m_list.AddItem(S); }
    int Count() const override { return m_list.count(); }

private:
    TKXListBox& m_list;
};

// While a search runs the window takes no input, as a disabled window
// would (without greying every control): only Esc gets through, and it
// stops the search. Every other key, and text from an input method, is
// lost, so that nothing typed meanwhile acts once the search is over. A
// close request waits for the search to end.
class TSearchInputBlock : public QObject {
public:
    explicit TSearchInputBlock(QWidget* form) : m_form(form) { qApp->installEventFilter(this); }
    ~TSearchInputBlock() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        // The form reads its keys on its native window, before any control.
        if (!IsFormTarget(watched))
            return false;
        switch (e->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape && SearchRunning)
                SearchRunning = false;
            return true;
        case QEvent::ShortcutOverride:
            e->accept();  // no shortcut fires; the key is then swallowed above
            return true;
        case QEvent::KeyRelease:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: return true;
        case QEvent::Close: e->ignore(); return true;
        default: return false;
        }
    }

private:
    bool IsFormTarget(QObject* watched) const
    {
        if (!m_form)
            return false;
        if (auto* w = qobject_cast<QWidget*>(watched))
            return w->window() == m_form;
        return watched == m_form->windowHandle();
    }

    QPointer<QWidget> m_form;
};

}  // namespace

void TForm1::CreateFindPanel()
{
    // The client area docks its panels the way the form layout does.
    QWidget* grid = takeCentralWidget();
    FormClient = new platform::AlignedPanel;
    setCentralWidget(FormClient);

    MainPanel = new platform::AlignedPanel(FormClient);
    platform::setAlign(MainPanel, platform::Align::Client);
    Panel2 = new QWidget(MainPanel);
    Panel2->resize(Panel2->width(), 34);
    platform::setAlign(Panel2, platform::Align::Bottom);
    grid->setParent(MainPanel);
    platform::setAlign(grid, platform::Align::Client);

    SearchBtn = new TKXButton(QStringLiteral("Find files with icons inside >>"), Panel2);
    SearchBtn->setGeometry(4, 4, 240, 26);
    SearchBtn->OnClick = [this](QObject* sender) { SearchBtnClick(sender); };
    CopyDirBtn = new TkxSoftButton(Panel2);
    CopyDirBtn->SetGlyph([] { return ToolBarGlyph(tgFolder); }, kToolBarGlyphCells);
    CopyDirBtn->SetFlat(true);
    CopyDirBtn->setGeometry(250, 4, 26, 26);
    CopyDirBtn->OnClick = [this](QObject* sender) { CopyDirBtnClick(sender); };
    Label5 = new QLabel(QStringLiteral("Minimum number of icons"), Panel2);
    Label5->setGeometry(284, 4, 190, 26);
    Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Edit1 = new QLineEdit(QStringLiteral("1"), Panel2);
    Edit1->setMaxLength(4);
    Edit1->setGeometry(480, 5, 44, 24);
    Edit1->installEventFilter(this);
    UpDown1 = new platform::UpDown(Panel2);
    UpDown1->setRange(1, 1000);
    UpDown1->setAssociate(Edit1);
    UpDown1->setGeometry(524, 5, 16, 24);
    connect(Edit1, &QLineEdit::textChanged, this, [this] { SpinChange(Edit1); });
    for (QWidget* w : {static_cast<QWidget*>(CopyDirBtn), static_cast<QWidget*>(Label5),
                       static_cast<QWidget*>(Edit1), static_cast<QWidget*>(UpDown1)})
        w->hide();

    HSplitter = new TkxSplitter(FormClient);
    HSplitter->resize(HSplitter->width(), 4);
    HSplitter->SetAlign(platform::Align::Bottom);
    HSplitter->SetMinSize(172);
    HSplitter->hide();
    HSplitter->OnMoved = [this](QObject* sender) { HSplitterMoved(sender); };

    FindPanel = new platform::AlignedPanel(FormClient);
    FindPanel->hide();
    FindPanel->resize(FindPanel->width(), kFindPanelHeight);
    platform::setAlign(FindPanel, platform::Align::Bottom);

    DirPanel = new platform::AlignedPanel(FindPanel);
    platform::setAlign(DirPanel, platform::Align::Client);
    Label2 = new QLabel(QStringLiteral("Folder to scan:"), DirPanel);
    Label2->setGeometry(kMargin, kLabelTop, 200, kLabelHeight);
    Tree = new TkxFolderTree(DirPanel);
    Tree->SetFolderOptions({foNetworkNeighborhood});
    Tree->setGeometry(kMargin, kListTop, 240, 120);
    connect(Tree, &TkxFolderTree::OnChange, this, [this](QTreeWidgetItem*) { TreeChange(Tree); });

    FilePanel = new platform::AlignedPanel(FindPanel);
    FilePanel->resize(kFilePanelWidth, FilePanel->height());
    platform::setAlign(FilePanel, platform::Align::Right);
    VSplitter = new TkxSplitter(FindPanel);
    VSplitter->resize(4, VSplitter->height());
    VSplitter->move(0, 0);
    VSplitter->SetAlign(platform::Align::Right);
    VSplitter->SetMinSize(248);
    VSplitter->OnMoved = [this](QObject* sender) { VSplitterMoved(sender); };

    Label3 = new QLabel(QStringLiteral("Files (.dll, .exe, .ocx) with icons:"), FilePanel);
    Label3->setGeometry(kMargin, kLabelTop, 300, kLabelHeight);
    // The count, the stopped label and the button stack up from the
    // middle of the column (HSplitterMoved); the picture sits at its foot,
    // out of their way at every height the splitter allows.
    Img = new TFirstShownPicture(FilePanel, [this] {
        return style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(32, 32);
    });
    Img->setGeometry(kMargin, kListTop, kImgWidth, 120);
    Img->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    Label4 = new QLabel(QStringLiteral("0"), FilePanel);
    Label4->setAlignment(Qt::AlignCenter);
    const int line = Label4->fontMetrics().height();
    Label4->setGeometry(kMargin, 40, kImgWidth, line);
    // Two lines, and the button as high as the count and the label need:
    // the count stands one button height and a margin above the button.
    Label6 = new QLabel(QStringLiteral("Search stopped"), FilePanel);
    Label6->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label6->setWordWrap(true);
    Label6->setGeometry(kMargin, 40 + line, kImgWidth, 2 * line);
    const int saveAllHeight = std::max(34, 3 * line - kMargin);
    QPalette red = Label6->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label6->setPalette(red);
    Label6->hide();
    PopupSaveAll = new QMenu(this);
    for (int tag = 0; tag < 6; ++tag) {
        NSaveAllListItems[tag] = PopupSaveAll->addAction(QString::fromLatin1(kSaveAllKinds[tag]));
        connect(NSaveAllListItems[tag], &QAction::triggered, this, [this, tag] {
            QStringList entries;
            for (int i = 0; i < FileBox->count(); ++i)
                entries << FileBox->item(i)->text();
            SaveAllListClick(tag, FFileBoxFolder, entries);
        });
    }
    SaveAllBtn = new TkxPopupButton(FilePanel);
    SaveAllBtn->SetGlyph([] { return ToolBarGlyph(tgSaveAll, 24); }, kToolBarGlyphCells);
    SaveAllBtn->SetDropDownComponent(PopupSaveAll);
    SaveAllBtn->setGeometry(kMargin + (kImgWidth - kSaveAllWidth) / 2, 90, kSaveAllWidth, saveAllHeight);
    SaveAllBtn->setEnabled(false);
    FileBox = new TKXListBox(FilePanel);
    FileBox->setGeometry(kMargin + kImgWidth + kMargin, kListTop, kFilePanelWidth - kImgWidth - 3 * kMargin,
                         120);
    FileBox->SetSorted(true);
    FileBox->SetItemHeight(18);
    FileBox->SetDirectSearch(true);
    FileBox->OnClick = [this](QObject* sender) { FileBoxClick(sender); };
    FileBox->OnGetItemParams = [this](QObject* sender, int index, TOwnerDrawState state, QFont& font,
                                      QColor& color, QImage* bmp, int& offset, QString& text) {
        FileBoxGetItemParams(sender, index, state, font, color, bmp, offset, text);
    };
    ChkSubFolders = new QCheckBox(QStringLiteral("Include subfolders"), FilePanel);
    ChkSubFolders->setGeometry(FileBox->x(), 150, 240, 20);
    connect(ChkSubFolders, &QCheckBox::clicked, this, [this] { ChkSubFoldersClick(ChkSubFolders); });
}

void TForm1::ApplyFindPanelTexts()
{
    SearchBtn->setText(GetUIText(FindPanel->isHidden() ? 3 : 4));
    Label5->setText(GetUIText(501));
    Label2->setText(GetUIText(502));
    Label3->setText(GetUIText(503));
    Label6->setText(GetUIText(204));
    ChkSubFolders->setText(GetUIText(551));
    SetHint(CopyDirBtn, GetUIText(101));
    SetHint(SaveAllBtn, GetUIText(102));
    for (QWidget* w :
         {static_cast<QWidget*>(Label5), static_cast<QWidget*>(Edit1), static_cast<QWidget*>(UpDown1)})
        SetHint(w, GetUIText(151));
}

void TForm1::SearchBtnClick(QObject*)
{
    const QList<QWidget*> controls = {CopyDirBtn, FindPanel, Label5, Edit1, UpDown1};
    if (!FindPanel->isHidden()) {
        for (QWidget* w : controls)
            w->hide();
        SearchBtn->setText(GetUIText(3));
    } else {
        for (QWidget* w : controls)
            w->show();
        SearchBtn->setText(GetUIText(4));
        RealignPanels();
        FormResize();
        DirBoxChange(nullptr);
    }
    HSplitter->setVisible(!FindPanel->isHidden());
    HSplitter->move(HSplitter->x(), MainPanel->height() + 1);
    RealignPanels();
    FormResize();
}

QString TForm1::TreeFolder() const { return Tree->Folder(); }

QWidget* TForm1::TreeWidget() const { return Tree; }

void TForm1::TreeChange(QObject* Sender)
{
    // A hidden panel searches when it is shown; the tree's start-up
    // selection must not run a search nobody sees.
    if (FindPanel->isHidden())
        return;
    DirBoxChange(Sender);
}

void TForm1::DirBoxChange(QObject*)
{
    // The search lets the window work between files; a second search from
    // there would refill the list under the first one.
    if (FInSearch)
        return;
    // A folder re-read meanwhile can move the tree on (its folder went): the
    // list follows until it shows the tree's folder.
    for (;;) {
        const QString folder = TreeFolder();
        SearchFolder(folder);
        if (TreeFolder() == folder)
            break;
    }
}

void TForm1::SearchFolder(const QString& folder)
{
    FileBox->Clear();
    FFileBoxFolder = folder;
    if (folder.isEmpty()) {
        // What the panel says of the list follows it: none of the old
        // search's files is listed any more.
        Label4->setText(QStringLiteral("0"));
        Label6->hide();
        SaveAllBtn->setEnabled(false);
        const TFolderNode* node = Tree->NodeData(Tree->Selected());
        if (node && node->FN_NameNotUtf8) {
            FPanels[0]->setText(GetUIText(206));
            FFolderNotice = true;
        } else if (FFolderNotice) {
            FPanels[0]->clear();
            FFolderNotice = false;
        }
        return;
    }
    FFolderNotice = false;
    Tree->repaint();
    FileBox->repaint();
    Label4->setText(QStringLiteral("0..."));
    Label4->repaint();
    Label6->hide();
    // Disabling the focused edit moves the focus on and drops its
    // selection; both come back after.
    const QPointer<QWidget> focus = focusWidget();
    const auto* focusEdit = qobject_cast<QLineEdit*>(focus.data());
    const std::pair<int, int> selection = focusEdit
        ? std::pair {focusEdit->selectionStart(), focusEdit->selectionLength()}
        : std::pair {-1, 0};
    DisableSearchControls();
    FPanels[0]->setText(GetUIText(201) + u' ' + GetUIText(203));
    repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FilePanel->setCursor(Qt::WaitCursor);
    TSearchInputBlock block(this);
    const QScopedValueRollback<bool> inSearch(FInSearch, true);
    SearchRunning = true;
    FSearchClock.invalidate();

    uint8_t result = srDone;
    int32_t skipped = 0;
    struct Finish {
        TForm1* form;
        const uint8_t& result;
        const QPointer<QWidget>& focus;
        const std::pair<int, int>& selection;
        const int32_t& skipped;
        ~Finish()
        {
            if (result == srCancelled)
                form->Label6->show();
            SearchRunning = false;
            if (skipped > 0)
                form->FPanels[0]->setText(FormatUIText(GetUIText(205), {skipped}));
            else
                form->FPanels[0]->clear();
            form->Label4->setText(
                form->Label4->text().chopped(std::min<qsizetype>(3, form->Label4->text().size())));
            form->EnableSearchControls();
            if (focus && focus->isEnabled() && focus->isVisible()) {
                focus->setFocus();
                if (auto* edit = qobject_cast<QLineEdit*>(focus.data()); edit && selection.first >= 0)
                    edit->setSelection(selection.first, selection.second);
            }
            form->FilePanel->unsetCursor();
            QApplication::restoreOverrideCursor();
            if (form->FCommandLineWaiting) {
                form->FCommandLineWaiting = false;
                QMetaObject::invokeMethod(
                    form, [f = form] { f->WMRunCommandLine(); }, Qt::QueuedConnection);
            }
        }
    } finish {this, result, focus, selection, skipped};

    bool ok = false;
    const int minIcons = Edit1->text().toInt(&ok);
    if (!ok)
        throw platform::Error(QStringLiteral("'%1' is not a valid integer value").arg(Edit1->text()));
    TListBoxStrings list(*FileBox);
    result = FindIconFiles(
        folder, folder, QStringLiteral("*.dll;*.exe;*.ocx"), minIcons, ChkSubFolders->isChecked(), false,
        list, [this](bool& cancel) { SearchTick(cancel); }, &skipped);
}

void TForm1::SearchProgress(QObject*, int32_t, int32_t Count, const QString&, const QString&, bool& Cancel)
{
    Label4->setText(QString::number(Count) + QStringLiteral("..."));
    Label4->repaint();
    QCoreApplication::processEvents();
    FSearchClock.start();
    Cancel = !SearchRunning;
}

void TForm1::SearchTick(bool& Cancel)
{
    // Folders where few files match would leave the window dead between
    // two files found: it gets a turn at least every 50 ms of work.
    if (FSearchClock.isValid() && FSearchClock.elapsed() < 50)
        return;
    QCoreApplication::processEvents();
    FSearchClock.start();
    Cancel = !SearchRunning;
}

void TForm1::DisableSearchControls()
{
    for (QWidget* w : {static_cast<QWidget*>(SaveAllBtn), static_cast<QWidget*>(ChkSubFolders),
                       static_cast<QWidget*>(Label5), static_cast<QWidget*>(Edit1),
                       static_cast<QWidget*>(UpDown1), static_cast<QWidget*>(SearchBtn)})
        w->setEnabled(false);
    // The window itself takes no input while the search runs (TSearchInputBlock).
}

void TForm1::EnableSearchControls()
{
    for (QWidget* w :
         {static_cast<QWidget*>(SearchBtn), static_cast<QWidget*>(ChkSubFolders),
          static_cast<QWidget*>(Label5), static_cast<QWidget*>(Edit1), static_cast<QWidget*>(UpDown1)})
        w->setEnabled(true);
    SaveAllBtn->setEnabled(FileBox->count() > 0);
}

void TForm1::SpinChange(QObject* Sender)
{
    // Texts are set quietly: the search below is the one this change runs.
    if (Edit1->text().isEmpty() || Edit1->text() == QStringLiteral("0")) {
        const QSignalBlocker quiet(Edit1);
        Edit1->setText(QStringLiteral("1"));
        Edit1->selectAll();
    }
    bool ok = false;
    Edit1->text().toInt(&ok);
    if (!ok) {
        // A pasted text that is no number: the last number comes back, so
        // that the list still matches the edit and the next search runs.
        const QString refused = Edit1->text();
        {
            const QSignalBlocker quiet(Edit1);
            Edit1->setText(FMinCountText);
            Edit1->selectAll();
        }
        throw platform::Error(QStringLiteral("'%1' is not a valid integer value").arg(refused));
    }
    FMinCountText = Edit1->text();
    DirBoxChange(Sender);
}

void TForm1::Edit1KeyPress(QObject*, QChar& Key)
{
    if (Key.unicode() >= 32 && !(Key >= u'0' && Key <= u'9'))
        Key = QChar(0);
}

void TForm1::ChkSubFoldersClick(QObject* Sender)
{
    if (Sender)
        DirBoxChange(Sender);
}

void TForm1::CopyDirBtnClick(QObject*)
{
    // The tree selects the folder and then runs a search there.
    if (!FFileName.isEmpty())
        Tree->SetFolder(QFileInfo(FFileName).path());
}

void TForm1::FileBoxClick(QObject*)
{
    const int index = FileBox->ItemIndex();
    if (index < 0)
        return;
    const QString name = JoinPath(FFileBoxFolder, FileBox->item(index)->text());
    if (name != FFileName)
        SelectFile(name);
}

void TForm1::FileBoxGetItemParams(QObject*, int, TOwnerDrawState State, QFont&, QColor&, QImage* Bmp,
                                  int& Offset, QString& Text)
{
    Offset = 20;
    if (!Bmp)
        return;
    *Bmp = QImage(16, 16, QImage::Format_ARGB32_Premultiplied);
    Bmp->fill(Qt::transparent);
    // The file's own small icon (its first group), else its type's.
    const QString path = JoinPath(FFileBoxFolder, Text);
    platform::Icon icon = platform::extractIcon(path, 0, platform::kSmallIconSize);
    if (icon.isNull())
        icon = platform::associatedIcon(path, platform::kSmallIconSize);
    if (icon.isNull())
        return;
    QPainter painter(Bmp);
    icon.draw(painter, 0, 0);
    if (State & odSelected) {
        // A selected item's icon is blended with the selection colour.
        QColor tint = FileBox->palette().color(QPalette::Highlight);
        tint.setAlpha(128);
        painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        painter.fillRect(Bmp->rect(), tint);
    }
}

bool TForm1::FindPanelEventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const auto* press = static_cast<QKeyEvent*>(event);
        const QString text = press->text();
        // Ctrl with a letter types its control character, which some window
        // systems report as the bare letter.
        if (!text.isEmpty() && !(press->modifiers() & Qt::ControlModifier)) {
            QChar key = text[0];
            Edit1KeyPress(Edit1, key);
            if (key.isNull())
                return true;
        }
    }
    return false;
}
