#include "kxCommon/kxHelpUtils.h"

#include "kxCommon/kxHtmlHelp.h"
#include "platform/ApplicationHelp.h"

#include <QFileInfo>

QString HelpTopicAddress(const QString& HelpFile, const QString& Page, const QString& Anchor)
{
    return HelpFile + QStringLiteral("::/") + Page + QStringLiteral(".htm") + Anchor;
}

void ShowHelpTopic(const QString& Topic)
{
    QString page = Topic;
    QString anchor;
    const qsizetype bar = Topic.indexOf(u'|');
    if (bar >= 0) {
        page = Topic.left(bar);
        anchor = Topic.mid(bar + 1);
    }
    platform::ApplicationHelp& application = platform::applicationHelp();
    if (application.onHelp) {
        bool callHelp = false;
        (void)application.onHelp(0, 0, callHelp);
    }
    if (!page.isEmpty()) {
        const QString address = HelpTopicAddress(application.helpFile, page, anchor);
        kxHtmlHelp::InvokeHtmlHelp(application.handle, reinterpret_cast<const char16_t*>(address.utf16()),
                                   kxHtmlHelp::HH_DISPLAY_TOPIC, 0);
    } else {
        kxHtmlHelp::InvokeHtmlHelp(application.handle,
                                   reinterpret_cast<const char16_t*>(application.helpFile.utf16()),
                                   kxHtmlHelp::HH_DISPLAY_TOC, 0);
    }
}

void CloseAllHelp()
{
    try {
        if (QFileInfo(platform::applicationHelp().helpFile).isFile())
            kxHtmlHelp::InvokeHtmlHelp(nullptr, nullptr, kxHtmlHelp::HH_CLOSE_ALL, 0);
    } catch (const std::exception&) {
        // Nothing to tell while the window closes.
    }
}
