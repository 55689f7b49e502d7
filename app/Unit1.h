#pragma once
// Program-wide state of the main window's unit. Main thread only.

#include "platform/PeModule.h"

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
