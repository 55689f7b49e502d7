#pragma once
// The help binding: the help control (libchm, which our help viewer reads
// help files with) is loaded late, on the first help request, and at most
// once per process. When it cannot be loaded, help simply does not appear.

#include "platform/DynamicLibrary.h"
#include "platform/HelpViewer.h"

#include <QString>

#include <cstdint>

class QWidget;

namespace kxHtmlHelp {

inline constexpr unsigned HH_DISPLAY_TOPIC = 0;
inline constexpr unsigned HH_DISPLAY_TOC = 1;
inline constexpr unsigned HH_CLOSE_ALL = 18;

// The class registration that names the control's file.
inline const QString HtmlHelpClassKey
    = QStringLiteral("CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32");

// The module name tried first.
extern QString HHCtrlName;
// The loaded control; nullptr when not loaded.
extern platform::LibraryHandle HelpModule;
// The control's entry; nullptr when not available.
extern platform::HtmlHelpProc HtmlHelpEntry;
// True from the first load attempt on; a failed attempt is never repeated.
extern bool Tried;

// Path := the registered file of the control, or empty when none is
// registered or no file of that name exists.
void GetHtmlHelpPath(QString& Path);
// One load attempt per process: by name, then by the registered path.
void LoadHtmlHelp();
void UnloadHtmlHelp();
// The window the entry returns, or nullptr. Closing all help windows never
// loads the control: none can be open before it was loaded.
QWidget* InvokeHtmlHelp(QWidget* Window, const char16_t* FileName, unsigned Command, intptr_t Data);

// Start-up and exit steps of this unit.
void Initialize();
void Finalize();

}  // namespace kxHtmlHelp
