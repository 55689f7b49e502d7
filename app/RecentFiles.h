#pragma once
// The recent-files menu as data: file items newest first, then the marker
// item "<Empty>" that shows only while there is no file item.

#include <QString>
#include <QStringList>

#include <vector>

struct TRecentItem {
    QString Caption;  // the file-name part of the path
    QString Hint;     // the full path as it was opened
    bool Checked = false;
};

class TRecentFiles {
public:
    // At most this many file items; the marker makes the menu one longer.
    static constexpr int kMaxFileItems = 12;

    // The menu text of a path: its file-name part, with "&" doubled so that
    // a menu shows it rather than taking it for an accelerator.
    static QString MenuCaption(const QString& Path);

    // The stored list at start-up, newest first.
    void Load(const QStringList& NewestFirst);
    // The file items' paths, newest first, for storing at exit.
    QStringList Stored() const;

    // A file was opened: every item is unchecked, an item of the same path
    // (compared exactly: file names are case-sensitive) is removed, and a
    // checked item for the path goes on top; the oldest beyond the limit
    // drops out and the marker hides.
    void Select(const QString& FileName);

    const std::vector<TRecentItem>& Items() const { return m_items; }
    bool EmptyVisible() const { return m_emptyVisible; }

private:
    std::vector<TRecentItem> m_items;
    bool m_emptyVisible = true;
};
