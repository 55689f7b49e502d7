#pragma once
// The two help operations the application uses: a topic of the current
// help file, and closing every help window when the main window closes.

#include <QString>

// Topic: a page name, optionally followed by "|" and an anchor ("export",
// "page|#part"); an empty page shows the help file's contents.
void ShowHelpTopic(const QString& Topic);
// Closes every help window, without loading anything when help was never
// asked for; failures are ignored.
void CloseAllHelp();
// The topic address of a page: "file::/page.htm" followed by the anchor.
QString HelpTopicAddress(const QString& HelpFile, const QString& Page, const QString& Anchor);
