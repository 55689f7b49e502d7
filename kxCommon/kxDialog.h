#pragma once
// TKXDirDialog: the folder picker, a non-visual component that lets the
// user choose a folder, with a title and a folder preselected on entry.

#include <QObject>
#include <QString>

class QWidget;

class TKXDirDialog : public QObject {
    Q_OBJECT

public:
    explicit TKXDirDialog(QObject* AOwner = nullptr) : QObject(AOwner) {}

    const QString& Title() const { return FTitle; }
    void SetTitle(const QString& Value) { FTitle = Value; }
    // The folder preselected on entry; the chosen one after a confirmed choice.
    const QString& Directory() const { return FDirectory; }
    void SetDirectory(const QString& Value) { FDirectory = Value; }

    // Shows the picker modally over Parent (the active window when none).
    // True when a folder was confirmed; it is then in Directory. Before the
    // picker shows, an empty Directory becomes the current directory and a
    // trailing "/" is dropped (the root stays "/"); that value stays after
    // Cancel.
    bool Execute(QWidget* Parent = nullptr);

private:
    QString FTitle;
    QString FDirectory;
};
