#include "app/RecentFiles.h"

QString TRecentFiles::MenuCaption(const QString& Path)
{
    QString name = Path.mid(Path.lastIndexOf(u'/') + 1);
    name.replace(u'&', QStringLiteral("&&"));
    return name;
}

void TRecentFiles::Load(const QStringList& NewestFirst)
{
    m_items.clear();
    for (const QString& path : NewestFirst) {
        if (static_cast<int>(m_items.size()) == kMaxFileItems)
            break;
        m_items.push_back({MenuCaption(path), path, false});
    }
    m_emptyVisible = m_items.empty();
}

QStringList TRecentFiles::Stored() const
{
    QStringList paths;
    for (const TRecentItem& item : m_items)
        paths << item.Hint;
    return paths;
}

void TRecentFiles::Select(const QString& FileName)
{
    std::vector<TRecentItem> kept;
    for (TRecentItem item : m_items) {
        if (item.Hint == FileName)
            continue;
        item.Checked = false;
        kept.push_back(item);
    }
    kept.insert(kept.begin(), TRecentItem {MenuCaption(FileName), FileName, true});
    if (static_cast<int>(kept.size()) > kMaxFileItems)
        kept.resize(kMaxFileItems);
    m_items = std::move(kept);
    m_emptyVisible = false;
}
