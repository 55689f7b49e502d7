#pragma once
// Files that replace their old versions together, as one export made of
// several files does: each is written to a temporary file in its
// destination's folder, and commit() puts every one in place or, when any
// step fails, none of them, the old files staying as they were.

#include "platform/FileSystem.h"

#include <QByteArrayView>
#include <QSet>
#include <QString>

#include <memory>
#include <vector>

class QFile;

namespace platform {

class FileSet {
public:
    FileSet();
    ~FileSet();  // what was not committed is discarded
    FileSet(const FileSet&) = delete;
    FileSet& operator=(const FileSet&) = delete;

    // A new temporary file for Path, open for reading and writing (it can
    // seek) until commit(), or nullptr and the reason. It is Path's once
    // committed.
    QFile* create(const QString& Path, QString* Error = nullptr);
    // A whole file for Path, written and closed at once (a set may hold
    // more files than a process may keep open), and the reason on failure.
    WriteResult add(const QString& Path, QByteArrayView Data, QString* Error = nullptr);

    // Writes out and syncs every file, then renames each over its
    // destination, which so names a whole file, old or new, at every moment.
    // On failure every destination is as it was before, no temporary file
    // is left, and FailedPath and Error say what failed. SIGTERM, SIGINT
    // or SIGHUP before the last rename undoes the set and ends the process
    // by that signal; after it, the set stays in place (TemporaryFilesHold).
    bool commit(QString* FailedPath = nullptr, QString* Error = nullptr);
    // Drops every file not committed.
    void discard();

    bool isEmpty() const { return m_entries.empty(); }

private:
    struct Entry;
    // Writes out what Entry's file buffers, syncs it when it replaces a
    // file, and closes it.
    bool finishWriting(Entry& e, QString* Error);
    std::vector<std::unique_ptr<Entry>> m_entries;
    QSet<QString> m_paths;  // of m_entries, so that a set of many files is quick to add to
};

}  // namespace platform
