#pragma once
// The folders of the shell namespace on Linux: the special folders, the
// sub-folders of a folder as the folder tree lists them, and the small
// icons of its nodes. The namespace's rule for volumes is in MountInfo.h.

#include <QIcon>
#include <QString>

#include <optional>
#include <vector>

namespace platform {

// The XDG desktop folder; the home folder when it does not exist; "/"
// when neither does.
QString desktopFolder();
// The XDG trash's files folder (it may not exist).
QString trashFilesFolder();
// Where the desktop's user-space file systems mount network shares.
QString gvfsFolder();

struct SubFolder {
    QString name;
    bool link = false;  // a symbolic link to a folder
    // Holds at least one folder, or a link to one; or cannot be read, and may.
    bool hasSubFolders = false;
    // The name's bytes are not UTF-8: `name` only shows it, nothing opens
    // it, and it is not looked into (hasSubFolders stays false).
    bool nameNotUtf8 = false;
};

// The folders in `path`, dot-folders and links to folders included, in
// directory order; nullopt when the folder cannot be read.
std::optional<std::vector<SubFolder>> listSubFolders(const QString& path);
// True when `path` holds a folder, or a link to one (stops at the first),
// and when it is a folder that cannot be read: it may hold one.
bool hasSubFolder(const QString& path);

enum class ShellIcon { Desktop, Computer, Drive, Network, Trash, Folder };

// The node icon at 16 x 16 from the icon theme, else drawn here. A folder's
// icon shows the open folder in the selected mode; `link` adds the link
// arrow.
QIcon smallShellIcon(ShellIcon kind, bool link = false);

}  // namespace platform
