#include "kxCommon/kxHtmlHelp.h"

#include "platform/ChmArchive.h"
#include "platform/ClassesRoot.h"

#include <QFileInfo>

namespace kxHtmlHelp {

QString HHCtrlName = QStringLiteral("libchm.so.1");
platform::LibraryHandle HelpModule = nullptr;
platform::HtmlHelpProc HtmlHelpEntry = nullptr;
bool Tried = false;

void GetHtmlHelpPath(QString& Path)
{
    Path.clear();
    if (const std::optional<QString> value = platform::classesRoot().defaultValue(HtmlHelpClassKey))
        Path = *value;
    // Never expanded: a value with an environment reference names no file.
    if (!Path.isEmpty() && !QFileInfo(Path).isFile())
        Path.clear();
}

void LoadHtmlHelp()
{
    if (Tried)
        return;
    Tried = true;
    HelpModule = platform::openLibrary(HHCtrlName);
    if (!HelpModule) {
        QString path;
        GetHtmlHelpPath(path);
        if (!path.isEmpty())
            HelpModule = platform::openLibrary(path);
    }
    if (HelpModule)
        HtmlHelpEntry = platform::htmlHelpEntry(HelpModule);
}

void UnloadHtmlHelp()
{
    if (!HelpModule)
        return;
    // No viewer may outlive the reader it reads with.
    if (HtmlHelpEntry)
        HtmlHelpEntry(nullptr, nullptr, HH_CLOSE_ALL, 0);
    HtmlHelpEntry = nullptr;
    platform::unbindChmLibrary();
    (void)platform::closeLibrary(HelpModule);
    HelpModule = nullptr;
}

QWidget* InvokeHtmlHelp(QWidget* Window, const char16_t* FileName, unsigned Command, intptr_t Data)
{
    if (Command == HH_CLOSE_ALL && !Tried)
        return nullptr;
    LoadHtmlHelp();
    return HtmlHelpEntry ? HtmlHelpEntry(Window, FileName, Command, Data) : nullptr;
}

void Initialize()
{
    HelpModule = nullptr;
    HtmlHelpEntry = nullptr;
    Tried = false;
}

void Finalize()
{
    UnloadHtmlHelp();
    HHCtrlName.clear();
}

}  // namespace kxHtmlHelp
