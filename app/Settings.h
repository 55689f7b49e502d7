#pragma once
// The settings store: the program-wide settings of Unit1, the recent-files
// list and the main window's placement, kept in "gharv.ini" (always written
// at exit) and, while registry storage is on, in the user's registry
// (platform::UserRegistry). Both stores have the sections "Settings",
// "Recent" and "Placement" with the same value names; the INI file wins
// whenever it can be read. The main window calls these while it is created
// and destroyed.

#include "platform/IniFile.h"
#include "platform/UserRegistry.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>

inline constexpr qsizetype kMaxRecentFiles = 12;

// The main window's placement. The rectangle is the window's normal
// (restored) one in screen coordinates, right and bottom exclusive. The
// readers set Maximized only when the store says so (else the window's
// state stays), and give the panel sizes as stored: the window clamps them
// with ClampPanelSize once the rectangle is applied, and shows the find
// panel with the opposite of FindPanelVisible before toggling it once.
struct TPlacement {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    bool Maximized = false;
    bool FindPanelVisible = false;  // the saved visibility of the find panel
    int32_t FindPanelHeight = 0;
    int32_t FilePanelWidth = 0;
};

// What the stores hold besides the program-wide settings; it lives in the
// main window's controls. The readers take the window's current state as
// the defaults of the placement and replace both parts.
struct TWindowSettings {
    // Full paths of the recent-files menu's file items, newest first.
    QStringList RecentFiles;
    TPlacement Placement;
};

// The registry of the program: organisation "Quellmark", application
// "Pictorium".
platform::UserRegistry ProgramRegistry();

// True when the program's registry key exists.
bool SettingsKeyExists();

// The INI file: "gharv.ini" in ProgramDir when the file exists there or the
// folder can be written; otherwise in ConfigDir/Quellmark/Pictorium, where
// ConfigDir is the user's configuration folder unless given.
QString IniFileName(const QString& ProgramDir, const QString& ConfigDir = {});

// Puts every program-wide setting back to its default.
void SetDefaultSettings();

// Start-up: SaveSettingsToRegistry := whether the registry key exists; then
// ReadINI when the key does not exist or the INI file does, and ReadReg
// only when ReadINI was not tried or failed and the key exists. Every
// setting starts at its default.
// An INI file that is there but cannot be read (no UTF-8 text, no regular
// file, no access) is never rewritten, so the settings go to the registry
// instead: registry storage is switched on, the registry read, and the
// result is a notice for the user saying so. Otherwise it is empty.
QString LoadSettings(const QString& IniFile, platform::UserRegistry& Registry, TWindowSettings& Window,
                     const QList<QRect>& Screens);

// Reads and applies the INI file; False when it cannot be read, and then
// nothing is applied and Error (when given) says why. A missing file reads
// as empty: all defaults.
bool ReadINI(const QString& FileName, const platform::UserRegistry& Registry, TWindowSettings& Window,
             const QList<QRect>& Screens, QString* Error = nullptr);
// Reads and applies the registry (all but SaveSettingsToRegistry); the
// new Run is written back to it at once.
void ReadReg(platform::UserRegistry& Registry, TWindowSettings& Window, const QList<QRect>& Screens);

// Writes everything to the INI file, keeping what else it holds. Throws
// platform::Error when the file cannot be read (it is then left alone) or
// written.
void WriteINI(const QString& FileName, const TWindowSettings& Window);
// While registry storage is on, writes everything but Run and
// SaveSettingsToRegistry to the registry; while it is off, removes the
// program's key when it exists. Throws platform::Error when the registry
// cannot be written.
void WriteReg(platform::UserRegistry& Registry, const TWindowSettings& Window);

// The menu item NSaveToRegistry: inverts its check and makes registry
// storage follow it; takes effect at exit.
void NSaveToRegistryClick(bool& Checked);

// A panel size as read, brought into the window: below MinSize it becomes
// MinSize, otherwise above Limit it becomes Limit.
int32_t ClampPanelSize(int32_t Value, int32_t MinSize, int32_t Limit);

// True when the placement's rectangle is one a window can take: not empty,
// not inside out, and no edge further from the origin than the largest
// window size. The readers take such an edge as absent (the current one
// stands for it), and the current rectangle for one that is still no window.
bool PlacementUsable(const TPlacement& Placement);

// Moves a placement whose rectangle shows too little on every screen (given
// by their available rectangles, the primary first) onto the nearest
// screen, shrunk to fit it. With no screens nothing changes.
void PlaceOnScreen(TPlacement& Placement, const QList<QRect>& Screens);
