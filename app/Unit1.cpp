#include "app/Unit1.h"

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
