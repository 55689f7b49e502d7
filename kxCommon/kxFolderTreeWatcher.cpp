// The watchers of the folder tree.

#include "kxCommon/kxFolderTree.h"

#include <QFile>
#include <QMetaObject>

struct TThDirChange::Shared {
    bool terminated = false;
    bool gone = false;     // the folder went; its parent's re-read deletes the node
    bool pending = false;  // a step is queued
};

TThDirChange::TThDirChange(TkxFolderTree* tree, QTreeWidgetItem* node, const QString& path)
    : Node(node),
      FolderTree(tree),
      msghandle(tree->FMessageHandle),
      FShared(std::make_shared<Shared>()),
      FPathText(path),
      FPath(QFile::encodeName(path).toStdString())
{}

TThDirChange::~TThDirChange() { Terminate(); }

void TThDirChange::Start()
{
    // Set up right after the node was read, so that no change is missed.
    // A folder that cannot be watched (removed, not a folder, no watch
    // left) reports nothing and waits for its stop.
    FWatches = FolderTree->FDirWatches;
    if (FWatches)
        FWatchId = FWatches->add(
            FPath, [this](platform::DirectoryWatches::Event event) { Changed(event); },
            [this](const std::string& name) { return FLinks.contains(name); });
}

void TThDirChange::Terminate()
{
    FShared->terminated = true;
    if (FWatchId != 0 && FWatches)
        FWatches->remove(FWatchId);
    FWatchId = 0;
}

bool TThDirChange::Terminated() const { return FShared->terminated; }

void TThDirChange::Changed(platform::DirectoryWatches::Event event)
{
    if (event == platform::DirectoryWatches::Event::Gone) {
        FShared->gone = true;
        return;
    }
    if (FShared->terminated || FShared->pending)
        return;
    // Queued behind what the main thread has to do, and dropped with the
    // tree's message object.
    FShared->pending = true;
    QMetaObject::invokeMethod(
        msghandle,
        [shared = FShared, tree = FolderTree, node = Node, watches = FWatches] {
            DirChangeNotify(shared, tree, node, watches);
        },
        Qt::QueuedConnection);
}

void TThDirChange::DirChangeNotify(const std::shared_ptr<Shared>& shared, TkxFolderTree* tree,
                                   QTreeWidgetItem* node, const QPointer<platform::DirectoryWatches>& watches)
{
    // The main thread stops a watcher before it deletes its node.
    if (shared->terminated)
        return;
    // The re-read below sees every change made so far: the events queued
    // meanwhile (the second half of a burst) would only re-read it again
    // and replace nodes the user may be on.
    if (watches)
        watches->drain();
    shared->pending = false;
    if (shared->terminated || shared->gone)
        return;
    tree->ReReadNode(node);
}
