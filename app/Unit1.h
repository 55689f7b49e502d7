#pragma once
// Program-wide state of the main window's unit. Main thread only.

#include "platform/PeModule.h"

#include <QString>

#include <cstdint>
#include <memory>

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
