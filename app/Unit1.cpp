#include "app/Unit1.h"

bool BatchMode = false;
bool SearchRunning = false;
bool MainFormClosing = false;
std::unique_ptr<platform::PeModule> LangModule;
int32_t HtmlColumnCount = 0;
