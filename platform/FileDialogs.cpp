#include "platform/FileDialogs.h"

#include "platform/ToolkitSettings.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>

#include <memory>

namespace platform {

namespace {

std::shared_ptr<FileDialogs>& current()
{
    static std::shared_ptr<FileDialogs> dialogs = std::make_shared<DesktopFileDialogs>();
    return dialogs;
}

// A path on one line that never widens its window: one too long for it is
// shortened in the middle, where the folders between matter least, and is
// shown whole as its tool tip.
class PathLine : public QLabel {
public:
    explicit PathLine(QWidget* parent) : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }
    void setPath(const QString& path)
    {
        setText(path);
        setToolTip(path);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect area = contentsRect();
        style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()),
                              foregroundRole());
    }
};

// The toolkit's file dialog reads its history as it is made and writes it
// as it goes, with no way to turn that off.
struct DeleteFileDialog {
    void operator()(QFileDialog* dialog) const
    {
        const ToolkitSettingsAway away;
        delete dialog;
    }
};
using FileDialog = std::unique_ptr<QFileDialog, DeleteFileDialog>;

FileDialog makeFileDialog(QWidget* parent, const QString& title = {}, const QString& folder = {})
{
    const ToolkitSettingsAway away;
    return FileDialog(new QFileDialog(parent, title, folder));
}

}  // namespace

std::optional<QString> DesktopFileDialogs::open(QWidget* parent, const OpenRequest& request)
{
    const FileDialog dialog = makeFileDialog(parent, request.title, request.initialDir);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters(request.filters);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return dialog->selectedFiles().first();
}

std::optional<SaveAnswer> DesktopFileDialogs::save(QWidget* parent, const SaveRequest& request)
{
    const FileDialog dialog = makeFileDialog(parent, request.title, request.initialDir);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(request.filters);
    if (request.filterIndex >= 1 && request.filterIndex <= request.filters.size())
        dialog->selectNameFilter(request.filters[request.filterIndex - 1]);
    dialog->setDefaultSuffix(request.defaultExt);
    if (request.onTypeChange)
        QObject::connect(dialog.get(), &QFileDialog::filterSelected, dialog.get(),
                         [&](const QString& filter) {
                             const int index = static_cast<int>(request.filters.indexOf(filter)) + 1;
                             if (index > 0)
                                 dialog->setDefaultSuffix(request.onTypeChange(index));
                         });
    dialog->selectFile(request.proposedName);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    const int index = static_cast<int>(request.filters.indexOf(dialog->selectedNameFilter())) + 1;
    return SaveAnswer {dialog->selectedFiles().first(), index > 0 ? index : 1};
}

std::optional<QString> DesktopFileDialogs::folder(QWidget* parent, const QString& title,
                                                  const QString& initialDir)
{
    // The title is a line of text above the folders, as the caller means it
    // to be read, not just the window's caption.
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* heading = new QLabel(title, &dialog);
    heading->setObjectName(QStringLiteral("folderDialogTitle"));
    heading->setWordWrap(true);
    heading->setTextFormat(Qt::PlainText);
    heading->setVisible(!title.isEmpty());
    layout->addWidget(heading);
    // Gone before the window that holds it.
    const FileDialog pickerDialog = makeFileDialog(&dialog);
    QFileDialog* picker = pickerDialog.get();
    // Part of this window, not one of its own.
    picker->setWindowFlags(Qt::Widget);
    picker->setOption(QFileDialog::DontUseNativeDialog);
    picker->setFileMode(QFileDialog::Directory);
    picker->setOption(QFileDialog::ShowDirsOnly);
    picker->setDirectory(initialDir);
    // Under the title, the whole path of the folder that Open would take:
    // the preselected one, then each one the user clicks, moves to, types
    // or enters. A row made current without being chosen is not taken, and
    // a name typed in part names no folder yet: the line keeps the last one.
    auto* path = new PathLine(&dialog);
    path->setObjectName(QStringLiteral("folderDialogPath"));
    path->setPath(initialDir);
    layout->addWidget(path);
    const auto follow = [path, picker] {
        const QString folder = picker->selectedFiles().value(0);
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            path->setPath(folder);
    };
    QObject::connect(picker, &QFileDialog::currentChanged, path, follow);
    QObject::connect(picker, &QFileDialog::directoryEntered, path, follow);
    // Typing a name, or the view's type-ahead, chooses a row without
    // telling the dialog's own signals.
    if (auto* name = picker->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        QObject::connect(name, &QLineEdit::textChanged, path, follow);
    if (auto* view = picker->findChild<QAbstractItemView*>(QStringLiteral("listView"));
        view && view->selectionModel())
        QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, path, follow);
    layout->addWidget(picker);
    QObject::connect(picker, &QDialog::finished, &dialog, &QDialog::done);
    if (dialog.exec() != QDialog::Accepted || picker->selectedFiles().isEmpty())
        return std::nullopt;
    const QString dir = picker->selectedFiles().first();
    if (dir.isEmpty())
        return std::nullopt;
    return dir;
}

namespace {

// The next scripted answer; none (cancelled) when the queue is empty.
template <typename Answer> std::optional<Answer> nextAnswer(std::deque<Answer>& answers)
{
    if (answers.empty())
        return std::nullopt;
    Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace

std::optional<QString> ScriptedFileDialogs::open(QWidget*, const OpenRequest& request)
{
    openRequests.push_back(request);
    return nextAnswer(opens);
}

std::optional<SaveAnswer> ScriptedFileDialogs::save(QWidget*, const SaveRequest& request)
{
    saveRequests.push_back(request);
    return nextAnswer(saves);
}

std::optional<QString> ScriptedFileDialogs::folder(QWidget*, const QString& title, const QString& initialDir)
{
    folderRequests.push_back({title, initialDir});
    return nextAnswer(folders);
}

FileDialogs& fileDialogs() { return *current(); }

void setFileDialogs(std::shared_ptr<FileDialogs> dialogs)
{
    current() = dialogs ? std::move(dialogs) : std::make_shared<DesktopFileDialogs>();
}

}  // namespace platform
