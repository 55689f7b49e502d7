#pragma once
// A tree view of the shell namespace in which the user picks a folder:
// the Desktop, below it Computer with its volumes, Network, the trash and
// the Desktop's folders. Nodes are read lazily, one level per expansion;
// watchers re-read an open folder whose sub-folders change, and mount
// changes rebuild the volume nodes. Everything runs on the main thread.
// The namespace rule is in platform/MountInfo.h.

#include "platform/DirectoryWatch.h"
#include "platform/MountInfo.h"

#include <QPointer>
#include <QString>
#include <QTreeWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class QTimer;
class TkxFolderTree;
class TThDirChange;

enum TFolderType : uint8_t {
    ftFolder = 0,               // a file-system folder or a volume
    ftNetworkNeighborhood = 1,  // "Network"
    ftRecycleBin = 2,           // the trash
    ftMyComputer = 3,           // "Computer"
    ftDesktop = 4,
    ftNetNode = 5,  // a server below "Network"
    ftNone = 6,     // the answer for a missing node
};

enum TFolderOption : uint8_t { foNetworkNeighborhood = 0, foRecycleBin = 1 };

// A set of TFolderOption.
class SFolderOption {
public:
    SFolderOption() = default;
    SFolderOption(std::initializer_list<TFolderOption> options)
    {
        for (TFolderOption o : options)
            m_bits |= uint8_t(1u << o);
    }
    bool contains(TFolderOption o) const { return (m_bits >> o) & 1u; }
    bool operator==(const SFolderOption&) const = default;

private:
    uint8_t m_bits = 0;
};

// The record of one node.
struct TFolderNode {
    // The item's path: a folder's or volume's path ("/" or "/media/usb"
    // for a volume), the Desktop folder for the Desktop; empty for the trash
    // and Computer; "//" for Network, "//" + host for a server.
    QString FN_Path;
    bool FN_Has_Parent = false;
    TThDirChange* FN_Change_Thread = nullptr;  // owned by the tree
    // 1 for a fixed volume, the medium's serial for a removable one, -1
    // without medium and for the virtual nodes once read.
    int32_t FN_Vol_Ser = 1;
    // The folder whose listing gives the children; empty for the nodes
    // whose children the tree makes itself (Computer, Network, servers).
    QString FN_ShellFolder;
    TFolderType FN_Type = ftFolder;
    // The folder's name on disk is not UTF-8: the path above is only its
    // look, nothing can be opened through it, so the node is never read.
    bool FN_NameNotUtf8 = false;
    // Opened by "*" past its bound of watches: the folder may have changed
    // unseen, and is read again when it is next opened or selected.
    bool FN_Unwatched = false;
    // Expires with the node, so that a re-read notices a nested one that
    // deleted it.
    std::shared_ptr<const char> FN_Alive = std::make_shared<const char>(0);
};

// Where the namespace's special folders are; the tests give their own.
struct TFolderTreePlaces {
    QString Desktop;    // the Desktop folder
    QString Trash;      // the trash's files folder
    QString MountInfo;  // /proc/self/mountinfo
    QString Gvfs;       // where user-space mounts put network shares
    static TFolderTreePlaces System();
};

class TkxFolderTree : public QTreeWidget {
    Q_OBJECT

public:
    explicit TkxFolderTree(QWidget* AOwner = nullptr);
    TkxFolderTree(QWidget* AOwner, TFolderTreePlaces places);
    ~TkxFolderTree() override;

    // The path of the selected node (GetPath). Writing a different text
    // selects, once the event loop runs, the deepest node on that path.
    QString Folder() const;
    void SetFolder(const QString& value);

    SFolderOption FolderOptions() const { return FFolderOptions; }
    // Takes effect when the roots are built, on the first pass of the event
    // loop after construction.
    void SetFolderOptions(SFolderOption options) { FFolderOptions = options; }

    QTreeWidgetItem* Selected() const { return currentItem(); }
    void SetSelected(QTreeWidgetItem* Node);

    // The node's file-system path; empty for nullptr and for Computer,
    // Network, the trash, servers and folders whose name is not UTF-8.
    QString GetPath(QTreeWidgetItem* Node) const;
    QString NodeShellFolder(QTreeWidgetItem* Node) const;
    TFolderType NodeType(QTreeWidgetItem* Node) const;
    // The node's record, owned by the tree; nullptr for nullptr.
    TFolderNode* NodeData(QTreeWidgetItem* Node) const;
    // The deepest node on Path, reading the nodes it passes; nullptr when
    // not even the first part matches.
    QTreeWidgetItem* FindNodeByPath(const QString& Path);

    QTreeWidgetItem* DesktopNode() const { return FDesktopNode; }
    QTreeWidgetItem* MyComputerNode() const { return FMyComputerNode; }
    QTreeWidgetItem* NetHoodNode() const { return FNetHoodNode; }
    QTreeWidgetItem* BitBucketNode() const { return FBitBucketNode; }

    // The tree's own operations, public so that tests and benchmarks can
    // drive them without the event loop.
    void BuildRootNodes();
    bool ExpandFolderNode(QTreeWidgetItem* Node);
    void DeleteFolderNode(QTreeWidgetItem* Node);
    void DeleteChildNodes(QTreeWidgetItem* Node);
    int32_t GetDriveSerial(const QString& Path) const;
    // The mount table changed: volumes come, go or get another medium.
    void DeviceChange();
    void RefreshDriveNode(const QString& MountPoint);
    // A watcher's notification: reads the node's sub-folders again.
    void ReReadNode(QTreeWidgetItem* Node);
    void StartDirWatcher(QTreeWidgetItem* Node);
    // The "*" key: opens Node and every folder below it, Computer's volumes
    // included. A folder reached through a link below Node, or one already
    // opened on the way (a folder mounted inside itself), stays closed: it
    // may lead back up the tree, and the walk would never end. Nor is a
    // kernel file system (proc, sysfs, ...) walked. The walk goes on in
    // short steps from the event loop, so the window stays in the user's
    // hands; Esc in the window, or a node deleted, ends or skips it. It
    // starts watchers only while the tree holds fewer watches than the
    // bound: every user's program shares the account's few thousand.
    void ExpandAllBelow(QTreeWidgetItem* Node);
    void StopExpandAll();
    bool ExpandingAll() const { return FExpandAll != nullptr; }
    static constexpr size_t kExpandAllWatches = 1000;
    void SetExpandAllWatches(size_t bound) { FExpandAllWatches = bound; }
    // The kernel's watches the tree holds.
    size_t WatchCount() const;
    // Watchers not yet told to stop.
    size_t RunningWatchers() const;

Q_SIGNALS:
    // The selection changed. Never sent from inside the toolkit's own
    // selection change: a handler may let events run, and the re-reads
    // they bring would delete nodes the toolkit is still working on. A
    // change by SetSelected or Folder is sent when the toolkit is done;
    // one made inside the toolkit (a click, a row removed) from the event
    // loop.
    void OnChange(QTreeWidgetItem* Node);

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct NewChild;
    QTreeWidgetItem* AddFolderNode(const NewChild& child);
    void AddChildren(QTreeWidgetItem* Parent, std::vector<NewChild>& children, bool sort);
    void SetHasChildren(QTreeWidgetItem* Node, bool hasChildren);
    void TreeExpanding(QTreeWidgetItem* Node);
    struct ExpandAll;
    void ExpandAllStep();
    void ReReadUnwatched(QTreeWidgetItem* Node);
    void TreeClick();
    void WMSelectFolder();
    void CollapseBelow(QTreeWidgetItem* Node);
    void DeleteDetached(QTreeWidgetItem* Node);
    void ForgetSpecial(QTreeWidgetItem* Node);
    void ReadMounts();
    std::vector<NewChild> VolumeChildren() const;
    std::vector<NewChild> ServerChildren() const;
    std::vector<NewChild> ShareChildren(const QString& server) const;
    NewChild VolumeChild(const platform::Volume& volume) const;
    QTreeWidgetItem* VolumeNode(const QString& mountPoint) const;
    void RefreshNetwork();
    void BeginUpdate();
    void EndUpdate();
    void SysColorChange();
    QTreeWidgetItem* FindBelow(QTreeWidgetItem* Node, const QString& Path);
    QString SelectionKey() const;
    void PostChange();
    void ReportChange();
    void SelectNode(QTreeWidgetItem* Node);
    struct KeptSelection;
    void KeepSelection();
    void RestoreSelection();
    friend class QuietChange;

    QString FFolder;
    QTreeWidgetItem* FDesktopNode = nullptr;
    QTreeWidgetItem* FMyComputerNode = nullptr;
    QTreeWidgetItem* FNetHoodNode = nullptr;
    QTreeWidgetItem* FBitBucketNode = nullptr;
    QString FDesktopPath;
    QObject* FMessageHandle = nullptr;  // receives the queued calls, in the order they were posted
    SFolderOption FFolderOptions;

    TFolderTreePlaces FPlaces;
    std::vector<platform::MountEntry> FMounts;
    std::vector<platform::Volume> FVolumes;
    QStringList FNetworkKey;  // the network mounts as last read
    QObject* FMountWatch = nullptr;
    std::vector<std::unique_ptr<TThDirChange>> FWatchers;
    // The one inotify instance of all the watchers; a child of FMessageHandle.
    platform::DirectoryWatches* FDirWatches = nullptr;
    int FUpdateDepth = 0;
    bool FExpandingGuard = false;
    // While the tree rebuilds nodes itself, selection moves are gathered and
    // reported once at the end: a handler that lets events run (the find
    // panel's search) must not see, or re-enter, a half-done rebuild.
    int FQuietDepth = 0;
    bool FChangeMissed = false;
    bool FChangePosted = false;
    bool FSelecting = false;  // inside the toolkit's setCurrentItem
    bool FChangePending = false;
    QString FReportedKey;  // the selection OnChange last reported
    // The selection the outermost re-read found; the re-reads nested in it
    // move it about, and it comes back once they are all done.
    int FReReadDepth = 0;
    std::unique_ptr<KeptSelection> FKept;
    std::unique_ptr<ExpandAll> FExpandAll;
    size_t FExpandAllWatches = kExpandAllWatches;
    bool FInExpandAllStep = false;  // the walk opens nodes: watches are bounded
    QTimer* FExpandAllTimer = nullptr;

    struct Icons;
    std::unique_ptr<Icons> FIcons;

    friend class TThDirChange;
};

// Watches one node's folder for sub-folders created, removed or renamed,
// through the tree's shared inotify instance, and has the tree re-read the
// node in a step queued on the main thread. The tree owns it: deleting the
// node only tells it to stop, which ends its watch at once; the tree frees
// it later, and at the latest when the tree is destroyed.
class TThDirChange {
public:
    TThDirChange(TkxFolderTree* tree, QTreeWidgetItem* node, const QString& path);
    ~TThDirChange();
    TThDirChange(const TThDirChange&) = delete;
    TThDirChange& operator=(const TThDirChange&) = delete;

    void Start();
    // The links to folders the node shows, by their names on disk: their
    // going or changing is a change too.
    void SetLinks(std::unordered_set<std::string> links) { FLinks = std::move(links); }
    // Nothing is reported after, not even a step already queued.
    void Terminate();
    bool Terminated() const;
    bool Finished() const { return Terminated(); }
    const QString& WatchedPath() const { return FPathText; }

    QTreeWidgetItem* const Node;
    TkxFolderTree* const FolderTree;
    QObject* const msghandle;

private:
    struct Shared;
    void Changed(platform::DirectoryWatches::Event event);
    // Queues the step, or has it wait while the node was read too lately.
    static void Schedule(const std::shared_ptr<Shared>& shared, TkxFolderTree* tree, QTreeWidgetItem* node,
                         const QPointer<platform::DirectoryWatches>& watches);
    // The queued step, on the main thread.
    static void DirChangeNotify(const std::shared_ptr<Shared>& shared, TkxFolderTree* tree,
                                QTreeWidgetItem* node, const QPointer<platform::DirectoryWatches>& watches);

    std::shared_ptr<Shared> FShared;
    QPointer<platform::DirectoryWatches> FWatches;
    int FWatchId = 0;
    const QString FPathText;
    const std::string FPath;
    std::unordered_set<std::string> FLinks;
};
