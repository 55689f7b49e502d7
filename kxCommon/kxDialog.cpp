#include "kxCommon/kxDialog.h"

#include "platform/FileDialogs.h"

#include <QApplication>
#include <QDir>

bool TKXDirDialog::Execute(QWidget* Parent)
{
    if (FDirectory.isEmpty())
        FDirectory = QDir::currentPath();
    // The root has no separator to drop: "/" would otherwise preselect nothing.
    if (FDirectory.size() > 1 && FDirectory.endsWith(u'/'))
        FDirectory.chop(1);
    if (!Parent && qobject_cast<QApplication*>(QCoreApplication::instance()))
        Parent = QApplication::activeWindow();
    const auto chosen = platform::fileDialogs().folder(Parent, FTitle, FDirectory);
    if (!chosen || chosen->isEmpty())
        return false;
    FDirectory = *chosen;
    return true;
}
