// The watcher threads of the folder tree.

#include "kxCommon/kxFolderTree.h"

#include "platform/DirectoryWatch.h"

#include <QFile>
#include <QMetaObject>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

constexpr auto kSlice = std::chrono::milliseconds(20);
// After a failed watch, about a second between two tries.
constexpr int kRetrySlices = 50;

}  // namespace

struct TThDirChange::Shared {
    std::atomic<bool> terminated {false};
};

TThDirChange::TThDirChange(TkxFolderTree* tree, QTreeWidgetItem* node, const QString& path)
    : Node(node),
      FolderTree(tree),
      msghandle(tree->FMessageHandle),
      FShared(std::make_shared<Shared>()),
      FPathText(path),
      FPath(QFile::encodeName(path).toStdString())
{}

TThDirChange::~TThDirChange()
{
    Terminate();
    if (FThread.joinable())
        FThread.join();
}

void TThDirChange::Start()
{
    FFirstWatch = std::make_unique<platform::DirectoryWatch>(FPath);
    FThread = std::thread([this] { Execute(); });
}

void TThDirChange::Terminate() { FShared->terminated.store(true); }

bool TThDirChange::Terminated() const { return FShared->terminated.load(); }

void TThDirChange::Execute()
{
    const auto pause = [this] {
        for (int i = 0; i < kRetrySlices && !Terminated(); ++i)
            std::this_thread::sleep_for(kSlice);
    };
    while (!Terminated()) {
        std::unique_ptr<platform::DirectoryWatch> opened = std::move(FFirstWatch);
        if (!opened)
            opened = std::make_unique<platform::DirectoryWatch>(FPath);
        platform::DirectoryWatch& watch = *opened;
        if (!watch.isOpen()) {
            // Removed, not a folder, or no watch left: no spinning.
            pause();
            continue;
        }
        while (!Terminated()) {
            const platform::DirectoryWatch::Event event = watch.wait(int(kSlice.count()));
            if (event == platform::DirectoryWatch::Event::Gone)
                break;
            if (event == platform::DirectoryWatch::Event::Changed && !Terminated())
                Synchronize(watch);
        }
        // The folder went away; its parent's re-read deletes the node.
        pause();
    }
    FFinished.store(true);
}

void TThDirChange::Synchronize(platform::DirectoryWatch& watch)
{
    struct Step {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto step = std::make_shared<Step>();
    QMetaObject::invokeMethod(
        msghandle,
        [shared = FShared, step, tree = FolderTree, node = Node, watch = &watch] {
            struct Signal {
                Step& s;
                ~Signal()
                {
                    {
                        std::lock_guard lock(s.mutex);
                        s.finished = true;
                    }
                    s.done.notify_all();
                }
            } signal {*step};
            DirChangeNotify(shared, tree, node, watch);
        },
        Qt::QueuedConnection);
    // Waits for the re-read, but never past a stop: the tree joins its
    // watchers on the main thread, where the step would run.
    std::unique_lock lock(step->mutex);
    while (!step->finished && !Terminated())
        step->done.wait_for(lock, kSlice);
}

void TThDirChange::DirChangeNotify(const std::shared_ptr<Shared>& shared, TkxFolderTree* tree,
                                   QTreeWidgetItem* node, platform::DirectoryWatch* watch)
{
    // The main thread stops a watcher before it deletes its node.
    if (shared->terminated.load())
        return;
    // The re-read below sees every change made so far: the events queued
    // meanwhile (the second half of a burst) would only re-read it again
    // and replace nodes the user may be on. The watcher thread waits for
    // this step and does not touch its watch until it ends; the watch
    // stays valid because that thread owns it until then.
    watch->wait(0);
    tree->ReReadNode(node);
}
