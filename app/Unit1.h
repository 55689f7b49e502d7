#pragma once
// Program-wide state of the main window's unit. Main thread only.

#include "app/RecentFiles.h"
#include "app/Settings.h"
#include "kxCommon/KXListBox.h"
#include "kxCommon/kxIconUtils.h"
#include "platform/MessageBoxes.h"
#include "platform/PeModule.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// True while the command line runs; the save-all run then asks no overwrite
// questions.
extern bool BatchMode;
// True while a folder search runs; Esc clears it, which stops the search.
extern bool SearchRunning;
// Set once the main window has agreed to close.
extern bool MainFormClosing;
// The loaded language pack; empty when none is loaded.
extern std::unique_ptr<platform::PeModule> LangModule;
// Columns of the HTML export.
extern int32_t HtmlColumnCount;

// The settings (read at start-up and written at exit, see Settings.h).
// Each holds its default until the settings are read.
extern int32_t Run;                  // this start's number; 1 on the first
extern bool SaveSettingsToRegistry;  // the settings are kept in the user's registry too
extern int32_t Language;             // language pack tag
extern bool OpenAfterSave;           // open a saved export with the desktop
extern bool ShowSeparateWindow;      // the icon window is shown
extern bool SmallIcons;              // the grid shows 16 x 16 icons
extern bool ExpIncludeNumbers;       // export option: icon numbers
extern bool ExpDrawBorder;           // export option: cell borders
extern bool ExpGrayScale;            // export option: grey pictures
extern QString ExpDBFFieldName;      // dBASE memo field name
extern int32_t ExpTargetImageType;   // HTML export pictures: 0 PNG, 1 JPEG, 2 GIF
extern int32_t ExpDBFType;           // dBASE export data: 0 icon, 1-5 picture format codes

// ---- The main window ------------------------------------------------------

class QAction;
class QActionGroup;
class QHBoxLayout;
class QCheckBox;
class QLineEdit;
class QPushButton;
class TkxFolderTree;
class TkxSplitter;
namespace platform {
class AlignedPanel;
class UpDown;
}  // namespace platform
class QLabel;
class QMenu;
class QToolButton;
class QWindow;
class TKXScrollBox;
class TKXDirDialog;
class TFrmIconEx;
class TkxPopupButton;
class TkxSoftButton;
class TKXButton;
class Tkx3DLabel;
struct TCommandLine;

// The captions of the save-all items by format tag, before a pack is applied.
inline constexpr const char* kSaveAllKinds[6]
    = {"as &Icons (*.ico)",     "as &Bitmaps (*.bmp)", "as &JPEG (*.jpg)",
       "as &Metafiles (*.emf)", "as &GIF (*.gif)",     "as &PNG (*.png)"};

// The private message the main window posts itself while it is created,
// so that the command line runs once the window exists.
inline constexpr int WM_RUNCOMMANDLINE = 4025;

// The application's title, which captions its message boxes.
inline QString ApplicationTitle() { return QStringLiteral("Pictorium"); }

// A Windows-style filter ("Text|*.a;*.b|...") as a file dialog's filter;
// "*.*" becomes "*", which also lists names without a dot.
QString DialogFilter(const QString& WindowsFilter);
// The default extension of filter FilterIndex (from 1): what stands between
// the first "." and the first ")" after the FilterIndex-th "("; "*" gives "".
QString FilterDefaultExt(const QString& WindowsFilter, int FilterIndex);
// Opens a saved file with the desktop's program for its type; FileName
// without extension gets "." + Ext when only such a file exists.
void OpenWithShell(QString FileName, const QString& Ext);
// A control's hint, "short|long": the short part as its tool tip, the long
// part for the status bar (a hint without "|" is both).
void SetHint(QObject* Control, const QString& Hint);

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // Params: the program's parameters, read before the toolkit saw them.
    // ProgramFile: the program's own file, whose icons show without
    // parameters.
    TForm1(const QStringList& Params, const QString& ProgramFile, QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up, closing and exit.
    void FormCreate();
    void FormCloseQuery(bool& CanClose);
    void FormDestroy();
    // Runs the command line; called once, through the posted message.
    void WMRunCommandLine();
    bool CommandLineHandled() const { return FCommandLineHandled; }
    // Called once the command line has been handled, queued so that it runs
    // after an exception the handler let through has been shown. main()
    // ends the program there when there is no display to leave it open on.
    std::function<void()> OnCommandLineHandled;
    // The program's exit status: 1 when the command line's run failed (its
    // export, its source, or a file it was only to open), else 0.
    int CommandLineStatus() const { return FCommandLineStatus; }
    // The messages that told of the run's failure, in their order; a run on
    // a display repeats them on standard error at exit.
    const std::vector<platform::MessageRequest>& CommandLineFailures() const { return FCommandLineFailures; }
    // Set when nobody can see the window (no display): the start-up notices
    // kept for after an export are then dropped.
    bool NoticesUnseen = false;
    // Help: the contents, a topic ("export", "page|#anchor"), the
    // application's help hook and its hint handler (Hint: the whole hint).
    void HelpBtnClick();
    void RunHelp(const QString& Topic);
    bool ShowHelp(uint16_t Command, intptr_t Data, bool& CallHelp);
    void AppOnHint(const QString& Hint);
    // The tool bar's commands.
    void CopyBtnClick();
    void PrintBtnClick();
    void AboutBtnClick();

    // Opening files, the selection status and the recent files.
    void SelectFile(const QString& FileName);
    void OpenBtnClick();
    void RefreshBtnClick();
    void ReopenFile(const QString& Path);
    void ScrollBoxDropFiles(QObject* Sender, int X, int Y, const QStringList& AFiles);
    void ScrollBoxSelectItem(QObject* Sender, int Index);
    TBitCount GetColorCount(const platform::Icon& Icon);

    // Saving (the work is the saver's, over the grid).
    int SaveIcon(int IconIndex, const QString& FileName, int FileType, bool GrayScale);
    void SaveAllAsOne(const QString& FileName, int DestType, bool GrayScale);
    void SaveAll(const QString& SrcFileName, const QString& DestDir, const QString& DestFileName,
                 const QString& DestExt, const QString& DBFFieldName, int FileType, int DBFType,
                 bool IncludeNumbers, bool DrawBorders, bool GrayScale, bool Small, int TargetImageType,
                 int& SaveCount, uint16_t& ConfirmResult, QSet<QString>& WrittenNames);
    // The save commands.
    void CheckSelection();
    void SaveSelClick();
    void SaveAllAsOneClick();
    void SaveAllClick(int FileType);
    // Every icon of each file Entries names in Folder (the file list's run),
    // with one count message for all of them.
    void SaveAllListClick(int FileType, const QString& Folder, const QStringList& Entries);
    void NHTMClick();
    void NDBFClick();
    void NPDFClick();
    // The default extension of the save dialog's filter and filter index.
    void SaveDlgTypeChange();
    TKXDirDialog* DirDlg() const { return FDirDlg; }

    // The tool bar's title label: opens the help, as there is no web page.
    void Label1Click();
    void NShowIconExClick();
    void UpdateIconWindow(int Index);
    TFrmIconEx* IconWindow() const { return FFrmIconEx; }
    QAction* NShowIconEx() const { return FNShowIconEx; }
    // The keys of the whole window, seen before its controls; none is consumed.
    void FormKeyDown(int Key, Qt::KeyboardModifiers Shift);

    // Icon size and layout.
    void NSize32Click(QAction* Sender);
    void FormResize();

    // Language packs.
    void NEnglishClick(QAction* Sender);

    // Settings.
    void NSaveToRegistryClick();

    const QString& CurrentFileName() const { return FFileName; }
    TKXScrollBox* ScrollBox() const { return FScrollBox; }
    QLabel* StatusPanel(int Index) const { return FPanels[Index]; }
    const TRecentFiles& RecentFiles() const { return FRecent; }
    QMenu* MRUPopup() const { return FMRUPopup; }
    const QString& IniFile() const { return FIniFile; }
    void SetIniFile(const QString& FileName) { FIniFile = FileName; }
    const QStringList& Params() const { return FParams; }
    QAction* SaveAction() const { return FSaveAction; }
    QAction* RefreshAction() const { return FRefreshAction; }
    QMenu* PopupSave() const { return FPopupSave; }
    QMenu* PopupOptions() const { return FOptionsMenu; }
    // The tool bar's buttons sit in ToolBar()'s layout, left to right.
    QWidget* ToolBar() const { return FToolBar; }
    QHBoxLayout* ToolBarLayout() const { return FToolBarLayout; }

    // The find panel (Unit1FindPanel.cpp) and the window's layout
    // (Unit1Layout.cpp).
    void SearchBtnClick(QObject* Sender);
    void DirBoxChange(QObject* Sender);
    void TreeChange(QObject* Sender);
    void SpinChange(QObject* Sender);
    void Edit1KeyPress(QObject* Sender, QChar& Key);
    void ChkSubFoldersClick(QObject* Sender);
    void CopyDirBtnClick(QObject* Sender);
    void FileBoxGetItemParams(QObject* Sender, int Index, TOwnerDrawState State, QFont& Font,
                              QColor& FontColor, QImage* Bmp, int& Offset, QString& Text);
    void SearchProgress(QObject* Sender, int32_t Index, int32_t Count, const QString& FileName,
                        const QString& Info, bool& Cancel);
    void FileBoxClick(QObject* Sender);
    void VSplitterMoved(QObject* Sender);
    void HSplitterMoved(QObject* Sender);

    platform::AlignedPanel* FormClient = nullptr;  // the window's client area below the tool bar
    platform::AlignedPanel* MainPanel = nullptr;
    QWidget* Panel2 = nullptr;
    TKXButton* SearchBtn = nullptr;
    TkxSoftButton* CopyDirBtn = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Edit1 = nullptr;
    platform::UpDown* UpDown1 = nullptr;
    platform::AlignedPanel* FindPanel = nullptr;
    platform::AlignedPanel* DirPanel = nullptr;
    QLabel* Label2 = nullptr;
    TkxFolderTree* Tree = nullptr;
    TkxSplitter* VSplitter = nullptr;
    platform::AlignedPanel* FilePanel = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Img = nullptr;
    TkxPopupButton* SaveAllBtn = nullptr;
    // SaveAllBtn's menu: NIconAll to NPNGAll, each saving every listed file.
    QMenu* PopupSaveAll = nullptr;
    QAction* NSaveAllListItems[6] = {};
    // The tool bar's title; a click runs Label1Click.
    Tkx3DLabel* Label1 = nullptr;
    TKXListBox* FileBox = nullptr;
    QCheckBox* ChkSubFolders = nullptr;
    TkxSplitter* HSplitter = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateFindPanel();
    // The find panel's share of the window's event filter: true when it
    // took the event.
    bool FindPanelEventFilter(QObject* watched, QEvent* event);
    void ApplyFindPanelTexts();
    void StoreFindPanelPlacement(TPlacement& Placement) const;
    void RestoreFindPanelPlacement(const TPlacement& Placement);
    void FormResizePanels();
    int FormClientHeight() const;
    QString TreeFolder() const;
    QWidget* TreeWidget() const;
    void DisableSearchControls();
    void EnableSearchControls();
    void SearchTick(bool& Cancel);
    // One search of Folder into FileBox (DirBoxChange's body).
    void SearchFolder(const QString& Folder);
    void RealignPanels();
    void CreateControls();
    // The commands' buttons and menu items, and their texts.
    void CreateCommandControls();
    void ApplyCommandTexts();
    // The save-all run over Sources (the current file when nullopt).
    void RunSaveAll(int FileType, const std::optional<QStringList>& Sources);
    void RebuildRecentMenu();
    // After the grid loaded: commands, status and the first icon selected.
    void ShowLoadedIcons();
    void SetCommandsEnabled(bool Enabled);
    void CreateToolBar();
    void SetToolBarEnabled(bool Enabled);
    void ApplyToolBarTexts();
    // A notice of the start-up (settings, language pack, help file): shown
    // at once, or kept for after the export when the command line asks for
    // one, so that a script never waits on it.
    void StartupNotice(const platform::MessageRequest& Request);
    // The kept notices, unless the window closes with the export.
    void ShowStartupNotices();
    TWindowSettings CurrentWindowSettings() const;
    // The settings into both stores, once: when the window closes, or when
    // it is destroyed without having closed.
    void WriteSettings();
    void ApplyWindowSettings(const TWindowSettings& Window);
    // The language pack steps.
    bool LoadLanguageLibrary(QAction* Sender, int32_t& Tag);
    void ApplyTexts();
    QString ProgramDir() const;
    void ChooseHelpFile(QAction* Sender, const QString& Name, QString& HelpFileName);
    void ReportMissingHelpFile(QAction* Sender, const QString& Name, QString& HelpFileName);
    void CreateHelpControls();
    // The steps of the save dialog shared by the save commands: the chosen
    // name and filter index, or nullopt when cancelled.
    std::optional<std::pair<QString, int>> RunSaveDialog(int TitleId, const QString& Filter);
    // The export of the command line, once its source is open: the error
    // message to show, or nullopt when it went well.
    // The command line's work, once per process.
    void RunCommandLine();
    std::optional<QString> RunCommandLineExport(const TCommandLine& CommandLine, const QString& Source,
                                                const QString& StartDir);
    // Names the files and icons the last save run left out, with why: the
    // message shown, or nullopt when there were none.
    std::optional<platform::MessageRequest> ReportSkippedIcons();

    QStringList FParams;
    QString FProgramFile;
    QString FFileName;
    QString FIniFile;
    bool FCommandLineHandled = false;
    bool FCommandLineWaiting = false;  // posted during a search; runs when it ends
    int FCommandLineStatus = 0;
    std::vector<platform::MessageRequest> FCommandLineFailures;
    std::vector<platform::MessageRequest> FStartupNotices;
    // What a save run left out, per source file: the icons that cannot be
    // read, or the whole file and the reason.
    struct TLeftOut {
        QString Source;
        QList<int> Icons;
        QString Reason;
    };
    std::vector<TLeftOut> FSkippedIcons;
    bool FDestroyed = false;
    bool FSettingsWritten = false;
    TRecentFiles FRecent;

    TKXScrollBox* FScrollBox = nullptr;
    QLabel* FPanels[4] = {};
    QWidget* FToolBar = nullptr;
    QHBoxLayout* FToolBarLayout = nullptr;
    TkxPopupButton* FOpenBtn = nullptr;
    TkxPopupButton* FSaveBtn = nullptr;
    TkxSoftButton* FCopyBtn = nullptr;
    TkxSoftButton* FPrintBtn = nullptr;
    TkxSoftButton* FRefreshBtn = nullptr;
    TkxPopupButton* FOptionsBtn = nullptr;
    TkxSoftButton* FHelpBtn = nullptr;
    TkxSoftButton* FAboutBtn = nullptr;
    QMenu* FMRUPopup = nullptr;
    QAction* FOpenAction = nullptr;
    QAction* FSaveAction = nullptr;
    QAction* FRefreshAction = nullptr;
    QMenu* FPopupSave = nullptr;
    QAction* FNSaveSel = nullptr;
    QAction* FNSaveAllasOneImage = nullptr;
    QAction* FNSaveAll = nullptr;     // the save menu's submenu item
    QAction* FNSaveAllItems[6] = {};  // NIcon to NPNG
    QString FDirDlgTitle;
    QMenu* FOptionsMenu = nullptr;
    QAction* FNSaveToRegistry = nullptr;
    QAction* FNSize32 = nullptr;
    QAction* FNSize16 = nullptr;
    QMenu* FNIconSize = nullptr;
    QMenu* FNLanguage = nullptr;
    QActionGroup* FLanguageGroup = nullptr;
    std::vector<QAction*> FLanguageItems;
    QString FOpenDlgTitle;
    QString FOpenDlgFilter;
    QString FOpenDlgInitialDir;
    QString FSaveDlgInitialDir;
    // The save dialog's filter, its index (from 1, kept from one use to the
    // next as the dialog keeps it) and default extension.
    QString FSaveDlgFilter;
    int FSaveDlgFilterIndex = 1;
    QString FSaveDlgDefaultExt;
    TKXDirDialog* FDirDlg = nullptr;
    TFrmIconEx* FFrmIconEx = nullptr;
    QWindow* FKeyWindow = nullptr;  // the native window whose keys are previewed
    bool FShownOnce = false;        // this window has been on the screen
    QAction* FNShowIconEx = nullptr;
    QAction* FNHTM = nullptr;
    QAction* FNDBF = nullptr;
    QAction* FNPDF = nullptr;
    QElapsedTimer FSearchClock;  // since the search last let the window work
    bool FInSearch = false;      // DirBoxChange runs (SearchRunning ends earlier on Esc)
    // Edit1's last number, put back over a text that is none.
    QString FMinCountText = QStringLiteral("1");
    // The folder FileBox was filled from: its entries are named below it,
    // whatever the tree shows meanwhile.
    QString FFileBoxFolder;
    bool FFolderNotice = false;  // panel 0 tells why the tree's folder cannot be searched
};
