#include "platform/FileDialogs.h"

#include <QDir>
#include <QFileDialog>

namespace platform {

namespace {

std::shared_ptr<FileDialogs>& current()
{
    static std::shared_ptr<FileDialogs> dialogs = std::make_shared<DesktopFileDialogs>();
    return dialogs;
}

}  // namespace

std::optional<SaveAnswer> DesktopFileDialogs::save(QWidget* parent, const SaveRequest& request)
{
    QFileDialog dialog(parent, request.title, request.initialDir);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.filters);
    if (request.filterIndex >= 1 && request.filterIndex <= request.filters.size())
        dialog.selectNameFilter(request.filters[request.filterIndex - 1]);
    dialog.setDefaultSuffix(request.defaultExt);
    if (request.onTypeChange)
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
            const int index = static_cast<int>(request.filters.indexOf(filter)) + 1;
            if (index > 0)
                dialog.setDefaultSuffix(request.onTypeChange(index));
        });
    dialog.selectFile(request.proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const int index = static_cast<int>(request.filters.indexOf(dialog.selectedNameFilter())) + 1;
    return SaveAnswer {dialog.selectedFiles().first(), index > 0 ? index : 1};
}

std::optional<QString> DesktopFileDialogs::folder(QWidget* parent, const QString& title,
                                                  const QString& initialDir)
{
    const QString dir = QFileDialog::getExistingDirectory(parent, title, initialDir);
    if (dir.isEmpty())
        return std::nullopt;
    return dir;
}

std::optional<SaveAnswer> ScriptedFileDialogs::save(QWidget*, const SaveRequest& request)
{
    saveRequests.push_back(request);
    if (saves.empty())
        return std::nullopt;
    SaveAnswer answer = saves.front();
    saves.pop_front();
    return answer;
}

std::optional<QString> ScriptedFileDialogs::folder(QWidget*, const QString& title, const QString& initialDir)
{
    folderRequests.push_back({title, initialDir});
    if (folders.empty())
        return std::nullopt;
    QString answer = folders.front();
    folders.pop_front();
    return answer;
}

FileDialogs& fileDialogs() { return *current(); }

void setFileDialogs(std::shared_ptr<FileDialogs> dialogs)
{
    current() = dialogs ? std::move(dialogs) : std::make_shared<DesktopFileDialogs>();
}

}  // namespace platform
