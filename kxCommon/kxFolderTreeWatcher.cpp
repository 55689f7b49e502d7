// The watchers of the folder tree.

#include "kxCommon/kxFolderTree.h"

#include <QFile>
#include <QMetaObject>
#include <QTimer>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// A folder whose sub-folders change all the time (a busy /tmp, a build
// folder) is read again at most about four times a second: every reading
// rebuilds its nodes and repaints them. A change after a quiet spell still
// shows at once, and one in a burst within this gap of the last reading.
constexpr Clock::duration kReReadGap = std::chrono::milliseconds(250);

}  // namespace

struct TThDirChange::Shared {
    bool terminated = false;
    bool gone = false;           // the folder went; its parent's re-read deletes the node
    bool pending = false;        // a step is queued or waits for its time
    Clock::time_point lastRead;  // when the node's last re-read ended
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
    FShared->pending = true;
    Schedule(FShared, FolderTree, Node, FWatches);
}

void TThDirChange::Schedule(const std::shared_ptr<Shared>& shared, TkxFolderTree* tree, QTreeWidgetItem* node,
                            const QPointer<platform::DirectoryWatches>& watches)
{
    // Queued behind what the main thread has to do, and dropped with the
    // tree's message object.
    const auto step = [shared, tree, node, watches] { DirChangeNotify(shared, tree, node, watches); };
    const Clock::duration wait = shared->lastRead + kReReadGap - Clock::now();
    if (wait <= Clock::duration::zero())
        QMetaObject::invokeMethod(tree->FMessageHandle, step, Qt::QueuedConnection);
    else
        QTimer::singleShot(std::chrono::ceil<std::chrono::milliseconds>(wait), tree->FMessageHandle, step);
}

void TThDirChange::DirChangeNotify(const std::shared_ptr<Shared>& shared, TkxFolderTree* tree,
                                   QTreeWidgetItem* node, const QPointer<platform::DirectoryWatches>& watches)
{
    // The main thread stops a watcher before it deletes its node.
    if (shared->terminated)
        return;
    // Set while the node was being read: the gap counts from that
    // reading's end.
    if (Clock::now() < shared->lastRead + kReReadGap) {
        Schedule(shared, tree, node, watches);
        return;
    }
    // The re-read below sees every change made so far: the events queued
    // meanwhile (the second half of a burst) would only re-read it again
    // and replace nodes the user may be on.
    if (watches)
        watches->drain();
    shared->pending = false;
    if (shared->terminated || shared->gone)
        return;
    // Changes seen while it runs wait for the gap after it.
    shared->lastRead = Clock::now();
    tree->ReReadNode(node);
    shared->lastRead = Clock::now();
}
