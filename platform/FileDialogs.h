#pragma once
// The common file dialogs behind one interface, so tests can answer them.

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace platform {

struct SaveRequest {
    QString title;
    QStringList filters;  // "Bitmap (*.bmp)", ...; index 1 is the first
    int filterIndex = 1;
    QString initialDir;
    QString proposedName;  // without folder
    QString defaultExt;    // without dot
    // Called with the new filter index when the user picks another filter;
    // answers that filter's default extension.
    std::function<QString(int filterIndex)> onTypeChange;
};

struct SaveAnswer {
    QString fileName;
    int filterIndex = 1;
};

struct OpenRequest {
    QString title;
    QStringList filters;  // "Executable files (*.exe)", ...
    QString initialDir;   // empty: the process's current folder
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // nullopt when cancelled.
    virtual std::optional<QString> open(QWidget* parent, const OpenRequest& request) = 0;
    virtual std::optional<SaveAnswer> save(QWidget* parent, const SaveRequest& request) = 0;
    virtual std::optional<QString> folder(QWidget* parent, const QString& title, const QString& initialDir)
        = 0;
};

// The toolkit's dialogs. They keep no history of their own: no settings
// file of the toolkit is read or written for them.
class DesktopFileDialogs : public FileDialogs {
public:
    std::optional<QString> open(QWidget* parent, const OpenRequest& request) override;
    std::optional<SaveAnswer> save(QWidget* parent, const SaveRequest& request) override;
    std::optional<QString> folder(QWidget* parent, const QString& title, const QString& initialDir) override;
};

// For tests: answers from queues, cancels when they are empty.
class ScriptedFileDialogs : public FileDialogs {
public:
    std::optional<QString> open(QWidget*, const OpenRequest& request) override;
    std::optional<SaveAnswer> save(QWidget*, const SaveRequest& request) override;
    std::deque<QString> opens;
    std::vector<OpenRequest> openRequests;
    std::optional<QString> folder(QWidget*, const QString& title, const QString& initialDir) override;
    std::deque<SaveAnswer> saves;
    std::deque<QString> folders;
    std::vector<SaveRequest> saveRequests;
    struct FolderRequest {
        QString title;
        QString initialDir;
    };
    std::vector<FolderRequest> folderRequests;
};

FileDialogs& fileDialogs();
void setFileDialogs(std::shared_ptr<FileDialogs> dialogs);

}  // namespace platform
