#pragma once
// The text formats inside a compiled help file that the help viewer reads:
// the contents and index sitemaps (HTML lists of topic objects), the
// archive's system record, and topic addresses ("file::/page.htm#anchor").
// Plain functions over untrusted bytes; every malformed input gives a
// partial or empty result, never a failure.

#include <QByteArray>
#include <QString>

#include <vector>

namespace platform {

// One topic object of a sitemap, in document order. `level` counts the
// lists around it (0 for the outermost); a child follows its parent with
// a level one higher.
struct SitemapEntry {
    QString name;
    QString local;  // the page inside the help file; empty for a heading
    int level = 0;
};

// The entries of a contents (.hhc) or index (.hhk) file. Levels are capped
// so that a hostile file cannot build an unbounded tree.
std::vector<SitemapEntry> parseSitemap(const QByteArray& bytes);
inline constexpr int kMaxSitemapLevel = 32;

// What the archive's system record names (empty where absent).
struct ChmSystemInfo {
    QString contentsFile;
    QString indexFile;
    QString defaultTopic;
    QString title;
};
ChmSystemInfo parseChmSystem(const QByteArray& bytes);

// A topic address split into the help file, the page path inside it (with
// a leading "/", or empty for none) and the anchor (without "#").
struct TopicAddress {
    QString file;
    QString page;
    QString anchor;
};
TopicAddress parseTopicAddress(const QString& address);

}  // namespace platform
