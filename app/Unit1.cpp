// The main window: start-up, closing and exit, and the window's controls.
#include "app/Unit1.h"

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/IconEx.h"
#include "app/myutils.h"
#include "kxCommon/KXImageBox.h"
#include "kxCommon/KXListBox.h"
#include "kxCommon/kxFileUtils.h"
#include "kxCommon/kxFolderTree.h"
#include "kxCommon/kxHelpUtils.h"
#include "platform/Exceptions.h"
#include "platform/MessageBoxes.h"
#include "platform/Screen.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <cstdlib>

bool BatchMode = false;
bool SearchRunning = false;
bool MainFormClosing = false;
std::unique_ptr<platform::PeModule> LangModule;
int32_t HtmlColumnCount = 0;

int32_t Run = 0;
bool SaveSettingsToRegistry = false;
int32_t Language = 0;
bool OpenAfterSave = true;
bool ShowSeparateWindow = true;
bool SmallIcons = false;
bool ExpIncludeNumbers = true;
bool ExpDrawBorder = true;
bool ExpGrayScale = false;
QString ExpDBFFieldName = QStringLiteral("ICON");
int32_t ExpTargetImageType = 0;
int32_t ExpDBFType = 0;

namespace {

QList<QRect> screenRects()
{
    QList<QRect> rects;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return rects;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        rects << primary->availableGeometry();
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            rects << screen->availableGeometry();
    return rects;
}

}  // namespace

QString DialogFilter(const QString& WindowsFilter)
{
    const QStringList parts = WindowsFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // "*.*" means every file, but a file dialog would take it to ask
        // for a dot in the name.
        QStringList list = parts[i + 1].split(u';');
        for (QString& pattern : list)
            if (pattern == QStringLiteral("*.*"))
                pattern = QStringLiteral("*");
        const QString patterns = list.join(u' ');
        QString text = parts[i];
        // The description usually names its patterns already.
        if (!text.contains(u'('))
            text += QStringLiteral(" (") + patterns + u')';
        else
            text = text.left(text.indexOf(u'(')).trimmed() + QStringLiteral(" (") + patterns + u')';
        filters << text;
    }
    return filters.join(QStringLiteral(";;"));
}

TForm1::TForm1(const QStringList& Params, const QString& ProgramFile, QWidget* parent)
    : QMainWindow(parent), FParams(Params), FProgramFile(ProgramFile)
{
    FIniFile = IniFileName(ProgramDir());
    try {
        CreateControls();
    } catch (const std::exception& e) {
        // The toolkit cannot take apart widgets whose making failed half-way
        // (a refused allocation): the program ends here, after its message.
        TApplication::ShowException(e);
        std::_Exit(1);
    }
}

TForm1::~TForm1()
{
    // The window's children outlive its members: none may call back into it.
    if (Tree)
        disconnect(Tree, nullptr, this, nullptr);
    if (FileBox) {
        FileBox->OnClick = nullptr;
        FileBox->OnGetItemParams = nullptr;
    }
    FormDestroy();
}

QString TForm1::ProgramDir() const { return AddBackslash(QFileInfo(FProgramFile).absolutePath()); }

void TForm1::CreateControls()
{
    setWindowTitle(ApplicationTitle());
    setMinimumSize(526, 455);
    resize(720, 520);

    FScrollBox = new TKXScrollBox(this);
    setCentralWidget(FScrollBox);

    FMRUPopup = new QMenu(this);
    FOpenAction
        = new QAction(QIcon::fromTheme(QStringLiteral("document-open")), QStringLiteral("Open"), this);
    connect(FOpenAction, &QAction::triggered, this, [this] { OpenBtnClick(); });
    addAction(FOpenAction);

    FSaveAction
        = new QAction(QIcon::fromTheme(QStringLiteral("document-save")), QStringLiteral("Save"), this);
    FPopupSave = new QMenu(this);
    QAction* saveSel = FNSaveSel = FPopupSave->addAction(QStringLiteral("Save &Selected Icon..."));
    // Shown in the menu; the key itself is the window's (FormKeyDown).
    saveSel->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    saveSel->setShortcutContext(Qt::WidgetShortcut);
    connect(saveSel, &QAction::triggered, this, [this] { SaveSelClick(); });
    FNSaveAllasOneImage = FPopupSave->addAction(QStringLiteral("Save All Icons as &One Image..."));
    connect(FNSaveAllasOneImage, &QAction::triggered, this, [this] { SaveAllAsOneClick(); });
    QMenu* saveAll = FPopupSave->addMenu(QStringLiteral("Save &All Icons"));
    FNSaveAll = saveAll->menuAction();
    for (int tag = 0; tag < 6; ++tag) {
        FNSaveAllItems[tag] = saveAll->addAction(QString::fromLatin1(kSaveAllKinds[tag]));
        connect(FNSaveAllItems[tag], &QAction::triggered, this, [this, tag] { SaveAllClick(tag); });
    }
    FRefreshAction
        = new QAction(QIcon::fromTheme(QStringLiteral("view-refresh")), QStringLiteral("Refresh"), this);
    connect(FRefreshAction, &QAction::triggered, this, [this] { RefreshBtnClick(); });
    addAction(FRefreshAction);

    FOptionsMenu = new QMenu(QStringLiteral("Options"), this);
    FNSaveToRegistry = FOptionsMenu->addAction(QStringLiteral("Save Settings to &Registry"));
    FNSaveToRegistry->setCheckable(true);
    connect(FNSaveToRegistry, &QAction::triggered, this, [this] { NSaveToRegistryClick(); });
    FNIconSize = FOptionsMenu->addMenu(QStringLiteral("Icon &Size"));
    auto* sizes = new QActionGroup(this);
    FNSize32 = FNIconSize->addAction(QStringLiteral("32x32"));
    FNSize16 = FNIconSize->addAction(QStringLiteral("16x16"));
    for (QAction* a : {FNSize32, FNSize16}) {
        a->setCheckable(true);
        sizes->addAction(a);
        connect(a, &QAction::triggered, this, [this, a] { NSize32Click(a); });
    }
    FNSize32->setChecked(true);
    FNLanguage = FOptionsMenu->addMenu(QStringLiteral("&Language"));
    FLanguageGroup = new QActionGroup(this);
    const char* languages[] = {"English", "Ukrainian", "Greek", "Romanian", "Italian", "Polish"};
    for (int tag = 0; tag < 6; ++tag) {
        QAction* a = FNLanguage->addAction(QString::fromLatin1(languages[tag]));
        a->setCheckable(true);
        a->setData(tag);
        FLanguageGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, a] { NEnglishClick(a); });
        FLanguageItems.push_back(a);
    }
    CreateToolBar();

    for (int i = 0; i < 4; ++i) {
        FPanels[i] = new QLabel(this);
        FPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addWidget(FPanels[i], i == 3 ? 1 : 0);
    }
    statusBar()->setSizeGripEnabled(true);
    CreateCommandControls();
    SetCommandsEnabled(false);
    CreateHelpControls();
    CreateFindPanel();
}

void TForm1::SetCommandsEnabled(bool Enabled)
{
    FSaveAction->setEnabled(Enabled);
    FPopupSave->setEnabled(Enabled);
    FNSaveSel->setEnabled(Enabled);
    FRefreshAction->setEnabled(Enabled);
    SetToolBarEnabled(Enabled);
}

TWindowSettings TForm1::CurrentWindowSettings() const
{
    TWindowSettings window;
    window.RecentFiles = FRecent.Stored();
    const QRect normal = platform::outerNormalGeometry(*this);
    window.Placement.Left = normal.left();
    window.Placement.Top = normal.top();
    window.Placement.Right = normal.left() + normal.width();
    window.Placement.Bottom = normal.top() + normal.height();
    window.Placement.Maximized = isMaximized();
    StoreFindPanelPlacement(window.Placement);
    return window;
}

void TForm1::ApplyWindowSettings(const TWindowSettings& Window)
{
    FRecent.Load(Window.RecentFiles);
    RebuildRecentMenu();
    const TPlacement& p = Window.Placement;
    if (PlacementUsable(p))
        platform::setOuterGeometry(*this, QRect(p.Left, p.Top, p.Right - p.Left, p.Bottom - p.Top),
                                   p.Maximized);
    else if (p.Maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    RestoreFindPanelPlacement(p);
}

void TForm1::FormCreate()
{
    BatchMode = false;
    SearchRunning = false;
    MainFormClosing = false;
    LangModule.reset();

    platform::UserRegistry registry = ProgramRegistry();
    TWindowSettings window = CurrentWindowSettings();
    const QString settingsNotice = LoadSettings(FIniFile, registry, window, screenRects());
    ApplyWindowSettings(window);
    if (!settingsNotice.isEmpty())
        StartupNotice(
            {ApplicationTitle(), settingsNotice, platform::MsgType::Warning, platform::mbOK, platform::mrOk});

    FNSaveToRegistry->setChecked(SaveSettingsToRegistry);
    FNShowIconEx->setChecked(ShowSeparateWindow);
    FNSize16->setChecked(SmallIcons);
    FNSize32->setChecked(!SmallIcons);
    NSize32Click(nullptr);
    NEnglishClick(nullptr);

    FScrollBox->SetOnDropFiles([this](QObject* sender, int x, int y, const QStringList& files) {
        ScrollBoxDropFiles(sender, x, y, files);
    });
    FScrollBox->OnSelectItem = [this](QObject* sender, int index) { ScrollBoxSelectItem(sender, index); };
    FSaveDlgInitialDir = QDir::currentPath();
    SearchBtnClick(nullptr);
    OnFileFound
        = [this](QObject* sender, int32_t index, int32_t count, const QString& name, const QString& info,
                 bool& cancel) { SearchProgress(sender, index, count, name, info, cancel); };

    // Posted, so that it runs once the window is shown and the loop runs.
    QMetaObject::invokeMethod(
        this, [this] { WMRunCommandLine(); }, Qt::QueuedConnection);

    if (FParams.isEmpty())
        SelectFile(FProgramFile);
}

void TForm1::StartupNotice(const platform::MessageRequest& Request)
{
    if (!FCommandLineHandled && TCommandLine::Parse(FParams).Export)
        FStartupNotices.push_back(Request);
    else
        platform::messageBoxes().show(Request);
}

void TForm1::ShowStartupNotices()
{
    const std::vector<platform::MessageRequest> notices = std::move(FStartupNotices);
    FStartupNotices.clear();
    if (MainFormClosing || NoticesUnseen)
        return;
    for (const platform::MessageRequest& notice : notices)
        platform::messageBoxes().show(notice);
}

void TForm1::FormCloseQuery(bool& CanClose)
{
    CanClose = true;
    CloseAllHelp();
    MainFormClosing = true;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    FormCloseQuery(canClose);
    event->setAccepted(canClose);
    // Written while the window is still there, so that a store that cannot
    // take them is told before it goes.
    if (canClose)
        WriteSettings();
}

void TForm1::FormDestroy()
{
    if (FDestroyed)
        return;
    FDestroyed = true;
    delete FFrmIconEx;
    FFrmIconEx = nullptr;
    WriteSettings();
    LangModule.reset();
}

void TForm1::WriteSettings()
{
    if (FSettingsWritten)
        return;
    FSettingsWritten = true;
    const TWindowSettings window = CurrentWindowSettings();
    try {
        WriteINI(FIniFile, window);
    } catch (const std::exception&) {
        // A program folder without write access: nothing to tell at exit.
    }
    try {
        platform::UserRegistry registry = ProgramRegistry();
        WriteReg(registry, window);
    } catch (const std::exception& e) {
        // The registry keeps the settings the INI file may not: losing
        // them is said.
        platform::messageBoxes().show({ApplicationTitle(), platform::messageOf(e), platform::MsgType::Error,
                                       platform::mbOK, platform::mrOk});
    }
}

void TForm1::NSaveToRegistryClick()
{
    bool checked = !FNSaveToRegistry->isChecked();
    ::NSaveToRegistryClick(checked);
    FNSaveToRegistry->setChecked(checked);
}

void TForm1::NSize32Click(QAction* Sender)
{
    (void)Sender;  // the radio group has already moved the check
    SmallIcons = FNSize16->isChecked();
    TKXImageBox* grid = FScrollBox->ImageBox();
    grid->SetIconSizing(SmallIcons ? isSmall : isLarge);
    FScrollBox->viewport()->update();
    FPanels[1]->clear();
    SetCommandsEnabled(grid->Count() > 0);
    if (grid->Count() > 0)
        grid->SetItemIndex(0);
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::FormResize()
{
    const int w = width();
    FPanels[0]->setFixedWidth(w / 2);
    FPanels[1]->setFixedWidth(w / 10);
    FPanels[2]->setFixedWidth(w / 6);
    FormResizePanels();
}
