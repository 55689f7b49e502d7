#include "kxCommon/kxFolderTree.h"

#include "platform/MountWatch.h"
#include "platform/ShellFolders.h"
#include "platform/WaitCursor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMetaObject>
#include <QScopedValueRollback>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <set>
#include <utility>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

constexpr int kFolderNodeType = QTreeWidgetItem::UserType + 108;

class TFolderTreeNode : public QTreeWidgetItem {
public:
    explicit TFolderTreeNode(TFolderNode data) : QTreeWidgetItem(kFolderNodeType), Data(std::move(data)) {}
    TFolderNode Data;
};

TFolderNode* dataOf(QTreeWidgetItem* node)
{
    return node && node->type() == kFolderNodeType ? &static_cast<TFolderTreeNode*>(node)->Data : nullptr;
}

QString joinPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

// Whether `path` is `folder` or lies below it (case-sensitive, as the file
// system is).
bool holds(const QString& folder, const QString& path)
{
    if (folder.isEmpty())
        return false;
    if (folder == QLatin1String("/"))
        return path.startsWith(u'/');
    return path == folder || path.startsWith(folder + u'/');
}

QStringList partsBelow(const QString& folder, const QString& path)
{
    return path.mid(folder.size()).split(u'/', Qt::SkipEmptyParts);
}

QString volumeText(const platform::Volume& volume)
{
    const QString label = platform::volumeLabel(volume.mount);
    if (!label.isEmpty())
        return label;
    const QString name = QFileInfo(volume.mount.mountPoint).fileName();
    return name.isEmpty() ? volume.mount.mountPoint : name;
}

}  // namespace

TFolderTreePlaces TFolderTreePlaces::System()
{
    return {platform::desktopFolder(), platform::trashFilesFolder(), QStringLiteral("/proc/self/mountinfo"),
            platform::gvfsFolder()};
}

struct TkxFolderTree::NewChild {
    TFolderNode Data;
    QString Text;
    QIcon Icon;
    bool HasChildren = false;
};

struct TkxFolderTree::KeptSelection {
    QTreeWidgetItem* Node = nullptr;
    std::weak_ptr<const char> Alive;
    QString Path;
    // Nearest first: the deepest one left is where the folder is looked up.
    std::vector<std::pair<QTreeWidgetItem*, std::weak_ptr<const char>>> Ancestors;
};

// The walk of the "*" key, between its steps.
struct TkxFolderTree::ExpandAll {
    QTreeWidgetItem* Start = nullptr;
    std::vector<std::pair<QTreeWidgetItem*, std::weak_ptr<const char>>> Todo;
    std::set<std::pair<dev_t, ino_t>> Opened;
    // Never walked: their folders are the kernel's, endless or costly to read.
    QSet<QString> KernelMounts;
    std::set<dev_t> KernelDevices;
};

struct TkxFolderTree::Icons {
    QIcon Desktop = platform::smallShellIcon(platform::ShellIcon::Desktop);
    QIcon Computer = platform::smallShellIcon(platform::ShellIcon::Computer);
    QIcon Drive = platform::smallShellIcon(platform::ShellIcon::Drive);
    QIcon Network = platform::smallShellIcon(platform::ShellIcon::Network);
    QIcon Trash = platform::smallShellIcon(platform::ShellIcon::Trash);
    QIcon Folder = platform::smallShellIcon(platform::ShellIcon::Folder);
    QIcon FolderLink = platform::smallShellIcon(platform::ShellIcon::Folder, true);
};

// --- construction and destruction ------------------------------------------

TkxFolderTree::TkxFolderTree(QWidget* AOwner) : TkxFolderTree(AOwner, TFolderTreePlaces::System()) {}

TkxFolderTree::TkxFolderTree(QWidget* AOwner, TFolderTreePlaces places)
    : QTreeWidget(AOwner),
      FMessageHandle(new QObject),
      FPlaces(std::move(places)),
      FIcons(std::make_unique<Icons>())
{
    setHeaderHidden(true);
    setColumnCount(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) { TreeExpanding(node); });
    connect(this, &QTreeWidget::itemClicked, this, [this] { TreeClick(); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        ReReadUnwatched(current);
        if (FQuietDepth > 0)
            FChangeMissed = true;
        else if (FSelecting)
            FChangePending = true;  // reported once the toolkit's call returns
        else
            PostChange();
    });
    // Built on the first pass of the event loop, when the owner has set the
    // options. The Desktop starts selected, so that an owner showing its
    // folder at once has one; a folder already written is selected next.
    QMetaObject::invokeMethod(
        FMessageHandle,
        [this] {
            BuildRootNodes();
            if (FFolder.isEmpty() && !currentItem())
                SetSelected(FDesktopNode);
        },
        Qt::QueuedConnection);
}

TkxFolderTree::~TkxFolderTree()
{
    StopExpandAll();
    blockSignals(true);
    // Every watcher is told to stop as its node goes, then freed: none
    // outlives the tree.
    while (topLevelItemCount() > 0)
        DeleteFolderNode(topLevelItem(0));
    for (auto& watcher : FWatchers)
        watcher->Terminate();
    FWatchers.clear();
    // Drops the steps still queued; they name only stopped watchers.
    delete FMessageHandle;
}

void TkxFolderTree::BeginUpdate()
{
    if (FUpdateDepth++ == 0)
        setUpdatesEnabled(false);
}

void TkxFolderTree::EndUpdate()
{
    if (--FUpdateDepth == 0)
        setUpdatesEnabled(true);
}

namespace {

class UpdateScope {
public:
    UpdateScope(std::function<void()> begin, std::function<void()> end) : m_end(std::move(end)) { begin(); }
    ~UpdateScope() { m_end(); }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

private:
    std::function<void()> m_end;
};

}  // namespace

#define KX_UPDATE_SCOPE UpdateScope updateScope([this] { BeginUpdate(); }, [this] { EndUpdate(); })

// Holds back OnChange while the tree rebuilds nodes; the outermost one
// reports the selection once, when it ended on another node.
class QuietChange {
public:
    explicit QuietChange(TkxFolderTree* tree) : m_tree(tree)
    {
        if (m_tree->FQuietDepth++ == 0)
            m_tree->FChangeMissed = false;
    }
    ~QuietChange()
    {
        if (!m_tree || --m_tree->FQuietDepth > 0 || !m_tree->FChangeMissed)
            return;
        m_tree->FChangeMissed = false;
        m_tree->PostChange();
    }
    QuietChange(const QuietChange&) = delete;
    QuietChange& operator=(const QuietChange&) = delete;

private:
    QPointer<TkxFolderTree> m_tree;  // a nested handler may destroy the tree
};

QString TkxFolderTree::SelectionKey() const
{
    const TFolderNode* d = dataOf(currentItem());
    return d ? QString::number(d->FN_Type) + u':' + d->FN_Path : QString();
}

void TkxFolderTree::ReportChange()
{
    if (FQuietDepth > 0) {
        FChangeMissed = true;  // mid-rebuild: reported when it ends
        return;
    }
    // A node replaced by its twin (a re-read) is no change.
    const QString key = SelectionKey();
    if (key == FReportedKey)
        return;
    FReportedKey = key;
    Q_EMIT OnChange(currentItem());
}

void TkxFolderTree::PostChange()
{
    // Changes made inside the toolkit (a click, a row removed) are reported
    // from the event loop, once per pass, for the selection it ends on.
    if (FChangePosted)
        return;
    FChangePosted = true;
    QMetaObject::invokeMethod(
        FMessageHandle,
        [this] {
            FChangePosted = false;
            ReportChange();
        },
        Qt::QueuedConnection);
}

// --- node records -------------------------------------------------------------

TFolderNode* TkxFolderTree::NodeData(QTreeWidgetItem* Node) const { return dataOf(Node); }

QString TkxFolderTree::GetPath(QTreeWidgetItem* Node) const
{
    const TFolderNode* d = dataOf(Node);
    if (!d)
        return {};
    switch (d->FN_Type) {
    case ftNetworkNeighborhood:
    case ftRecycleBin:
    case ftMyComputer:
    case ftNetNode:
    case ftNone: return {};
    case ftFolder:
    case ftDesktop: break;
    }
    return d->FN_NameNotUtf8 ? QString() : d->FN_Path;
}

QString TkxFolderTree::NodeShellFolder(QTreeWidgetItem* Node) const
{
    const TFolderNode* d = dataOf(Node);
    return d ? d->FN_ShellFolder : QString();
}

TFolderType TkxFolderTree::NodeType(QTreeWidgetItem* Node) const
{
    const TFolderNode* d = dataOf(Node);
    return d ? d->FN_Type : ftNone;
}

QString TkxFolderTree::Folder() const { return GetPath(Selected()); }

void TkxFolderTree::SetFolder(const QString& value)
{
    if (value == Folder())
        return;
    FFolder = value;
    QMetaObject::invokeMethod(
        FMessageHandle, [this] { WMSelectFolder(); }, Qt::QueuedConnection);
}

void TkxFolderTree::WMSelectFolder() { SetSelected(FindNodeByPath(FFolder)); }

void TkxFolderTree::SetSelected(QTreeWidgetItem* Node)
{
    SelectNode(Node);
    // Chosen while re-reads run: this is the selection they must leave.
    if (FReReadDepth > 0)
        KeepSelection();
}

void TkxFolderTree::SelectNode(QTreeWidgetItem* Node)
{
    if (!Node) {
        {
            const QScopedValueRollback<bool> selecting(FSelecting, true);
            setCurrentItem(nullptr);
            clearSelection();
        }
        if (std::exchange(FChangePending, false))
            ReportChange();
        return;
    }
    for (QTreeWidgetItem* p = Node->parent(); p; p = p->parent())
        p->setExpanded(true);
    scrollToItem(Node);
    {
        const QScopedValueRollback<bool> selecting(FSelecting, true);
        setCurrentItem(Node);
    }
    if (std::exchange(FChangePending, false))
        ReportChange();
}

QTreeWidgetItem* TkxFolderTree::AddFolderNode(const NewChild& child)
{
    auto* node = new TFolderTreeNode(child.Data);
    node->setText(0, child.Text);
    node->setIcon(0, child.Icon);
    SetHasChildren(node, child.HasChildren);
    return node;
}

void TkxFolderTree::SetHasChildren(QTreeWidgetItem* Node, bool hasChildren)
{
    Node->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                              : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void TkxFolderTree::AddChildren(QTreeWidgetItem* Parent, std::vector<NewChild>& children, bool sort)
{
    if (sort) {
        // The tree's text order: letters without case first, then case.
        std::sort(children.begin(), children.end(), [](const NewChild& a, const NewChild& b) {
            const int c = QString::compare(a.Text, b.Text, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a.Text < b.Text;
        });
    }
    QList<QTreeWidgetItem*> nodes;
    nodes.reserve(qsizetype(children.size()));
    for (const NewChild& child : children)
        nodes.append(AddFolderNode(child));
    Parent->addChildren(nodes);
}

// --- the roots --------------------------------------------------------------------

void TkxFolderTree::ReadMounts()
{
    FMounts = platform::readMountInfo(FPlaces.MountInfo);
    FVolumes = platform::userVolumes(FMounts);
}

void TkxFolderTree::BuildRootNodes()
{
    if (FDesktopNode)
        return;
    KX_UPDATE_SCOPE;
    ReadMounts();
    if (!FMountWatch)
        FMountWatch = new platform::MountWatch(
            FPlaces.MountInfo, [this] { DeviceChange(); }, FMessageHandle);

    FDesktopPath = FPlaces.Desktop;
    NewChild desktop;
    desktop.Data.FN_Path = FDesktopPath;
    desktop.Data.FN_ShellFolder = FDesktopPath;
    desktop.Data.FN_Type = ftDesktop;
    desktop.Text = QFileInfo(FDesktopPath).fileName();
    if (desktop.Text.isEmpty())
        desktop.Text = FDesktopPath;
    desktop.Icon = FIcons->Desktop;
    FDesktopNode = AddFolderNode(desktop);
    insertTopLevelItem(0, FDesktopNode);
    ExpandFolderNode(FDesktopNode);

    const auto special = [&](TFolderType type, const QString& text, const QIcon& icon, const QString& path,
                             const QString& listed, bool hasChildren) {
        NewChild child;
        child.Data.FN_Path = path;
        child.Data.FN_ShellFolder = listed;
        child.Data.FN_Has_Parent = true;
        child.Data.FN_Type = type;
        child.Text = text;
        child.Icon = icon;
        child.HasChildren = hasChildren;
        QTreeWidgetItem* node = AddFolderNode(child);
        FDesktopNode->insertChild(0, node);
        return node;
    };
    // Each goes in first: Computer, Network, Trash, then the folders.
    if (FFolderOptions.contains(foRecycleBin))
        FBitBucketNode = special(ftRecycleBin, QStringLiteral("Trash"), FIcons->Trash, QString(),
                                 FPlaces.Trash, platform::hasSubFolder(FPlaces.Trash));
    if (FFolderOptions.contains(foNetworkNeighborhood))
        FNetHoodNode = special(ftNetworkNeighborhood, QStringLiteral("Network"), FIcons->Network,
                               QStringLiteral("//"), QString(), true);
    FMyComputerNode
        = special(ftMyComputer, QStringLiteral("Computer"), FIcons->Computer, QString(), QString(), true);
    FDesktopNode->setExpanded(true);
}

// --- reading a node -------------------------------------------------------------

TkxFolderTree::NewChild TkxFolderTree::VolumeChild(const platform::Volume& volume) const
{
    NewChild child;
    const QString& mountPoint = volume.mount.mountPoint;
    child.Data.FN_Path = mountPoint;
    child.Data.FN_ShellFolder = mountPoint;
    child.Data.FN_Has_Parent = true;
    child.Data.FN_Vol_Ser = GetDriveSerial(mountPoint);
    child.Text = volumeText(volume);
    child.Icon = FIcons->Drive;
    // Read when opened, as a volume may be filled after it was mounted.
    child.HasChildren = true;
    return child;
}

std::vector<TkxFolderTree::NewChild> TkxFolderTree::VolumeChildren() const
{
    std::vector<NewChild> children;
    for (const platform::Volume& volume : FVolumes)
        children.push_back(VolumeChild(volume));
    return children;
}

std::vector<TkxFolderTree::NewChild> TkxFolderTree::ServerChildren() const
{
    QStringList servers;
    for (const platform::Volume& volume : FVolumes) {
        if (const auto share = platform::networkShareOf(volume.mount);
            share && !servers.contains(share->server))
            servers.append(share->server);
    }
    if (!FPlaces.Gvfs.isEmpty()) {
        for (const platform::SubFolder& folder :
             platform::listSubFolders(FPlaces.Gvfs).value_or(std::vector<platform::SubFolder> {})) {
            if (const auto share = platform::gvfsShareOf(folder.name);
                share && !servers.contains(share->server))
                servers.append(share->server);
        }
    }
    std::vector<NewChild> children;
    for (const QString& server : servers) {
        NewChild child;
        child.Data.FN_Path = QStringLiteral("//") + server;
        child.Data.FN_Has_Parent = true;
        child.Data.FN_Type = ftNetNode;
        child.Text = server;
        child.Icon = FIcons->Network;
        child.HasChildren = true;
        children.push_back(std::move(child));
    }
    return children;
}

std::vector<TkxFolderTree::NewChild> TkxFolderTree::ShareChildren(const QString& server) const
{
    std::vector<NewChild> children;
    const auto add = [&](const QString& path, const QString& share) {
        NewChild child;
        child.Data.FN_Path = path;
        child.Data.FN_ShellFolder = path;
        child.Data.FN_Has_Parent = true;
        child.Data.FN_Vol_Ser = GetDriveSerial(path);
        child.Text = share.isEmpty() ? QFileInfo(path).fileName() : share;
        child.Icon = FIcons->Drive;
        child.HasChildren = true;
        children.push_back(std::move(child));
    };
    for (const platform::Volume& volume : FVolumes) {
        if (const auto share = platform::networkShareOf(volume.mount); share && share->server == server)
            add(volume.mount.mountPoint, share->share);
    }
    if (!FPlaces.Gvfs.isEmpty()) {
        for (const platform::SubFolder& folder :
             platform::listSubFolders(FPlaces.Gvfs).value_or(std::vector<platform::SubFolder> {})) {
            if (const auto share = platform::gvfsShareOf(folder.name); share && share->server == server)
                add(joinPath(FPlaces.Gvfs, folder.name), share->share);
        }
    }
    return children;
}

bool TkxFolderTree::ExpandFolderNode(QTreeWidgetItem* Node)
{
    TFolderNode* d = dataOf(Node);
    if (!d)
        return false;
    if (d->FN_NameNotUtf8) {
        SetHasChildren(Node, false);
        return false;
    }
    platform::WaitCursor hourglass;
    KX_UPDATE_SCOPE;
    bool hasKids = true;
    bool added = false;

    // Volumes and virtual nodes read their serial again: a new medium shows.
    const TFolderNode* parent = dataOf(Node->parent());
    const bool volume = parent && (parent->FN_Type == ftMyComputer || parent->FN_Type == ftNetNode);
    if (volume || GetPath(Node).isEmpty())
        d->FN_Vol_Ser = GetDriveSerial(GetPath(Node));
    const int32_t parentSerial = d->FN_Vol_Ser;

    std::optional<std::vector<NewChild>> children;
    std::unordered_set<std::string> links;
    switch (d->FN_Type) {
    case ftMyComputer: children = VolumeChildren(); break;
    case ftNetworkNeighborhood: children = ServerChildren(); break;
    case ftNetNode: children = ShareChildren(d->FN_Path.mid(2)); break;
    case ftFolder:
    case ftDesktop:
    case ftRecycleBin:
    case ftNone:
        if (d->FN_ShellFolder.isEmpty())
            break;
        if (auto folders = platform::listSubFolders(d->FN_ShellFolder)) {
            children.emplace();
            children->reserve(folders->size());
            for (platform::SubFolder& folder : *folders) {
                NewChild child;
                child.Data.FN_Path = joinPath(d->FN_ShellFolder, folder.name);
                child.Data.FN_NameNotUtf8 = folder.nameNotUtf8;
                if (!folder.nameNotUtf8)
                    child.Data.FN_ShellFolder = child.Data.FN_Path;
                child.Data.FN_Has_Parent = true;
                child.Data.FN_Vol_Ser = parentSerial;
                child.Text = std::move(folder.name);
                child.Icon = folder.link ? FIcons->FolderLink : FIcons->Folder;
                if (folder.link && !folder.nameNotUtf8)
                    links.insert(QFile::encodeName(child.Text).toStdString());
                child.HasChildren = folder.hasSubFolders && !folder.nameNotUtf8;
                children->push_back(std::move(child));
            }
        }
        break;
    }
    // A folder that cannot be read keeps its button, and the next
    // expansion tries again; so does an empty volume, which may be filled.
    if (children) {
        hasKids = volume || !children->empty();
        added = !children->empty();
        AddChildren(Node, *children, d->FN_Type != ftMyComputer && d->FN_Type != ftNetworkNeighborhood);
    }
    SetHasChildren(Node, hasKids);
    // The Desktop always holds Computer and the rest, so it is watched even
    // while its folder holds none: the first folder made there shows.
    if ((added || d->FN_Type == ftDesktop) && !d->FN_Change_Thread) {
        d->FN_Unwatched = FInExpandAllStep && WatchCount() >= FExpandAllWatches;
        if (!d->FN_Unwatched)
            StartDirWatcher(Node);
    }
    if (d->FN_Change_Thread)
        d->FN_Change_Thread->SetLinks(std::move(links));
    return added;
}

void TkxFolderTree::keyPressEvent(QKeyEvent* event)
{
    // The tree copies nothing of its own: the copy key is its window's.
    if (event->matches(QKeySequence::Copy)) {
        event->ignore();
        return;
    }
    if (event->key() == Qt::Key_Asterisk && currentItem()) {
        ExpandAllBelow(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TkxFolderTree::ExpandAllBelow(QTreeWidgetItem* Node)
{
    StopExpandAll();
    const TFolderNode* d = dataOf(Node);
    if (!d)
        return;
    auto walk = std::make_unique<ExpandAll>();
    walk->Start = Node;
    walk->Todo.emplace_back(Node, d->FN_Alive);
    for (const platform::MountEntry& mount : FMounts) {
        if (platform::isKernelFileSystem(mount.fsType)) {
            walk->KernelMounts.insert(mount.mountPoint);
            walk->KernelDevices.insert(makedev(mount.major, mount.minor));
        }
    }
    FExpandAll = std::move(walk);
    if (!FExpandAllTimer) {
        FExpandAllTimer = new QTimer(FMessageHandle);
        FExpandAllTimer->setSingleShot(true);
        connect(FExpandAllTimer, &QTimer::timeout, this, [this] { ExpandAllStep(); });
    }
    // Esc stops the walk wherever the focus is in the window.
    QCoreApplication::instance()->installEventFilter(this);
    ExpandAllStep();
}

void TkxFolderTree::StopExpandAll()
{
    if (!FExpandAll)
        return;
    FExpandAll.reset();
    FExpandAllTimer->stop();
    QCoreApplication::instance()->removeEventFilter(this);
}

void TkxFolderTree::ExpandAllStep()
{
    if (!FExpandAll)
        return;
    ExpandAll& walk = *FExpandAll;
    // Long enough to get on, short enough that the window answers at once,
    // on a slow disk and a fast one.
    constexpr qint64 kStepMs = 25;
    constexpr int kStepNodes = 1000;
    int opened = 0;
    QElapsedTimer step;
    step.start();
    const QScopedValueRollback<bool> stepping(FInExpandAllStep, true);
    // With a layout pending, the view only notes each node it opens; the
    // rows are laid out once per step, not again at every node.
    scheduleDelayedItemsLayout();
    while (!walk.Todo.empty() && step.elapsed() < kStepMs && opened < kStepNodes) {
        const auto [node, alive] = walk.Todo.back();
        walk.Todo.pop_back();
        if (alive.expired())
            continue;  // deleted between two steps
        const TFolderType type = NodeType(node);
        if (type != ftFolder && type != ftDesktop && type != ftMyComputer)
            continue;
        if (type != ftMyComputer) {
            const QString folder = NodeShellFolder(node);
            if (walk.KernelMounts.contains(folder))
                continue;
            const QByteArray path = QFile::encodeName(folder);
            struct stat st {};
            if (node != walk.Start && (lstat(path.constData(), &st) != 0 || S_ISLNK(st.st_mode)))
                continue;
            if (stat(path.constData(), &st) != 0 || walk.KernelDevices.contains(st.st_dev)
                || !walk.Opened.insert({st.st_dev, st.st_ino}).second)
                continue;
        }
        node->setExpanded(true);
        ++opened;
        for (int i = node->childCount(); i-- > 0;)
            walk.Todo.emplace_back(node->child(i), dataOf(node->child(i))->FN_Alive);
    }
    if (walk.Todo.empty())
        StopExpandAll();
    else
        FExpandAllTimer->start(0);
}

bool TkxFolderTree::eventFilter(QObject* watched, QEvent* event)
{
    if (FExpandAll && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        if (const auto* widget = qobject_cast<QWidget*>(watched); widget && widget->window() == window()) {
            StopExpandAll();
            return true;
        }
    }
    return QTreeWidget::eventFilter(watched, event);
}

void TkxFolderTree::ReReadUnwatched(QTreeWidgetItem* Node)
{
    TFolderNode* d = dataOf(Node);
    if (!d || !d->FN_Unwatched || FInExpandAllStep)
        return;
    d->FN_Unwatched = false;
    // From the event loop: the toolkit is still inside its expansion or
    // selection change, and the re-read replaces nodes.
    QMetaObject::invokeMethod(
        FMessageHandle,
        [this, Node, alive = std::weak_ptr<const char>(d->FN_Alive)] {
            if (!alive.expired())
                ReReadNode(Node);
        },
        Qt::QueuedConnection);
}

void TkxFolderTree::TreeExpanding(QTreeWidgetItem* Node)
{
    if (FExpandingGuard)
        return;
    if (Node->childCount() > 0) {
        ReReadUnwatched(Node);
        return;
    }
    if (!ExpandFolderNode(Node)) {
        FExpandingGuard = true;
        Node->setExpanded(false);
        FExpandingGuard = false;
    }
}

// --- finding a path -------------------------------------------------------------

QTreeWidgetItem* TkxFolderTree::FindNodeByPath(const QString& Path)
{
    if (Path.isEmpty() || !FDesktopNode || !Path.startsWith(u'/'))
        return nullptr;
    QString s = Path;
    if (s.size() > 2 && s.endsWith(u'/'))
        s.chop(1);

    const auto childWithPath = [](QTreeWidgetItem* parent, const QString& path) -> QTreeWidgetItem* {
        for (int i = 0; i < parent->childCount(); ++i) {
            if (dataOf(parent->child(i))->FN_Path == path)
                return parent->child(i);
        }
        return nullptr;
    };
    const auto readOnce = [this](QTreeWidgetItem* node) {
        if (node->childCount() == 0)
            ExpandFolderNode(node);
    };
    const auto walk = [&](QTreeWidgetItem* current, QString folder, const QStringList& parts) {
        for (const QString& part : parts) {
            readOnce(current);
            folder = joinPath(folder, part);
            QTreeWidgetItem* next = childWithPath(current, folder);
            if (!next)
                break;
            current = next;
        }
        return current;
    };

    if (s.startsWith(QStringLiteral("//")) && !s.startsWith(QStringLiteral("///"))) {
        if (!FNetHoodNode)
            return nullptr;
        const QStringList parts = s.mid(2).split(u'/', Qt::SkipEmptyParts);
        if (parts.isEmpty())
            return FNetHoodNode;
        readOnce(FNetHoodNode);
        QTreeWidgetItem* server = childWithPath(FNetHoodNode, QStringLiteral("//") + parts[0]);
        if (!server || parts.size() == 1)
            return server;
        readOnce(server);
        // The share whose name is the longest leading part of the rest.
        const QString rest = parts.mid(1).join(u'/');
        QTreeWidgetItem* share = nullptr;
        qsizetype shareLength = -1;
        for (int i = 0; i < server->childCount(); ++i) {
            const QString name = server->child(i)->text(0);
            if ((rest == name || rest.startsWith(name + u'/')) && name.size() > shareLength) {
                share = server->child(i);
                shareLength = name.size();
            }
        }
        if (!share)
            return server;
        return walk(share, dataOf(share)->FN_Path, rest.mid(shareLength).split(u'/', Qt::SkipEmptyParts));
    }

    if (holds(FDesktopPath, s))
        return walk(FDesktopNode, FDesktopPath, partsBelow(FDesktopPath, s));

    if (!FMyComputerNode)
        return nullptr;
    readOnce(FMyComputerNode);
    // The deepest volume that holds the path.
    QTreeWidgetItem* volume = nullptr;
    for (int i = 0; i < FMyComputerNode->childCount(); ++i) {
        const QString& mountPoint = dataOf(FMyComputerNode->child(i))->FN_Path;
        if (holds(mountPoint, s) && (!volume || mountPoint.size() > dataOf(volume)->FN_Path.size()))
            volume = FMyComputerNode->child(i);
    }
    if (!volume)
        return nullptr;
    const QString& mountPoint = dataOf(volume)->FN_Path;
    return walk(volume, mountPoint, partsBelow(mountPoint, s));
}

// --- volumes and media ----------------------------------------------------------

int32_t TkxFolderTree::GetDriveSerial(const QString& Path) const
{
    if (Path.isEmpty())
        return -1;
    const platform::MountEntry* mount = nullptr;
    for (const platform::MountEntry& m : FMounts) {
        // A later mount on the same point hides the earlier one.
        if (holds(m.mountPoint, Path) && (!mount || m.mountPoint.size() >= mount->mountPoint.size()))
            mount = &m;
    }
    return mount ? platform::volumeSerial(*mount) : 1;
}

QTreeWidgetItem* TkxFolderTree::VolumeNode(const QString& mountPoint) const
{
    if (!FMyComputerNode || mountPoint.isEmpty())
        return nullptr;
    for (int i = 0; i < FMyComputerNode->childCount(); ++i) {
        if (dataOf(FMyComputerNode->child(i))->FN_Path == mountPoint)
            return FMyComputerNode->child(i);
    }
    return nullptr;
}

void TkxFolderTree::DeviceChange()
{
    const QuietChange quiet(this);
    const std::vector<platform::Volume> before = FVolumes;
    ReadMounts();
    const auto find = [](const std::vector<platform::Volume>& volumes, const QString& mountPoint) {
        return std::find_if(volumes.begin(), volumes.end(),
                            [&](const platform::Volume& v) { return v.mount.mountPoint == mountPoint; });
    };

    if (FMyComputerNode && FMyComputerNode->childCount() > 0) {
        for (int i = FMyComputerNode->childCount() - 1; i >= 0; --i) {
            QTreeWidgetItem* node = FMyComputerNode->child(i);
            const QString mountPoint = dataOf(node)->FN_Path;
            const auto now = find(FVolumes, mountPoint);
            const auto was = find(before, mountPoint);
            if (now == FVolumes.end())
                DeleteFolderNode(node);
            else if (was == before.end() || was->mount.id != now->mount.id)
                RefreshDriveNode(mountPoint);
        }
        // New volumes go in where the mount table lists them.
        int at = 0;
        for (const platform::Volume& volume : FVolumes) {
            QTreeWidgetItem* node = VolumeNode(volume.mount.mountPoint);
            if (!node) {
                node = AddFolderNode(VolumeChild(volume));
                FMyComputerNode->insertChild(at, node);
            }
            at = FMyComputerNode->indexOfChild(node) + 1;
        }
        SetHasChildren(FMyComputerNode, FMyComputerNode->childCount() > 0);
    }

    QStringList networkKey;
    for (const platform::Volume& volume : FVolumes) {
        if (volume.network)
            networkKey.append(volume.mount.source + u'\n' + volume.mount.mountPoint);
    }
    if (networkKey != FNetworkKey) {
        FNetworkKey = networkKey;
        RefreshNetwork();
    }
}

void TkxFolderTree::RefreshNetwork()
{
    if (!FNetHoodNode || FNetHoodNode->childCount() == 0)
        return;
    const QuietChange quiet(this);
    const bool wasOpen = FNetHoodNode->isExpanded();
    {
        KX_UPDATE_SCOPE;
        CollapseBelow(FNetHoodNode);
        DeleteChildNodes(FNetHoodNode);
        SetHasChildren(FNetHoodNode, true);
    }
    if (wasOpen)
        FNetHoodNode->setExpanded(true);
}

void TkxFolderTree::RefreshDriveNode(const QString& MountPoint)
{
    QTreeWidgetItem* node = VolumeNode(MountPoint);
    if (!node)
        return;
    const QuietChange quiet(this);
    KX_UPDATE_SCOPE;
    CollapseBelow(node);
    // The old watch looks at the folder below the mount, or at the medium
    // that went: the next reading starts one on what is there now.
    TFolderNode* d = dataOf(node);
    if (d->FN_Change_Thread) {
        d->FN_Change_Thread->Terminate();
        d->FN_Change_Thread = nullptr;
    }
    DeleteChildNodes(node);
    SetHasChildren(node, true);
    for (const platform::Volume& volume : FVolumes) {
        if (volume.mount.mountPoint == MountPoint)
            node->setText(0, volumeText(volume));
    }
}

void TkxFolderTree::TreeClick()
{
    TFolderNode* d = dataOf(Selected());
    // Only the Desktop node has its serial read again: the volume below it
    // may have another medium now.
    if (!d || d->FN_Path.isEmpty() || d->FN_Has_Parent)
        return;
    const int32_t serial = GetDriveSerial(d->FN_Path);
    if (serial == d->FN_Vol_Ser || d->FN_Vol_Ser == -1)
        return;
    QString mountPoint;
    for (const platform::Volume& volume : FVolumes) {
        if (holds(volume.mount.mountPoint, d->FN_Path) && volume.mount.mountPoint.size() > mountPoint.size())
            mountPoint = volume.mount.mountPoint;
    }
    const std::weak_ptr<const char> alive = d->FN_Alive;
    const QuietChange quiet(this);
    RefreshDriveNode(mountPoint);
    if (!alive.expired())
        d->FN_Vol_Ser = serial;
}

// --- deleting and re-reading -------------------------------------------------------

void TkxFolderTree::ForgetSpecial(QTreeWidgetItem* Node)
{
    for (QTreeWidgetItem** special : {&FDesktopNode, &FMyComputerNode, &FNetHoodNode, &FBitBucketNode}) {
        if (*special == Node)
            *special = nullptr;
    }
}

void TkxFolderTree::DeleteDetached(QTreeWidgetItem* Node)
{
    for (QTreeWidgetItem* child : Node->takeChildren())
        DeleteDetached(child);
    ForgetSpecial(Node);
    if (TFolderNode* d = dataOf(Node); d && d->FN_Change_Thread)
        d->FN_Change_Thread->Terminate();  // nothing waits for it
    delete Node;
}

void TkxFolderTree::DeleteFolderNode(QTreeWidgetItem* Node)
{
    if (!Node)
        return;
    const QuietChange quiet(this);
    if (QTreeWidgetItem* parent = Node->parent())
        parent->takeChild(parent->indexOfChild(Node));
    else
        takeTopLevelItem(indexOfTopLevelItem(Node));
    DeleteDetached(Node);
}

void TkxFolderTree::DeleteChildNodes(QTreeWidgetItem* Node)
{
    const QuietChange quiet(this);
    for (QTreeWidgetItem* child : Node->takeChildren())
        DeleteDetached(child);
}

void TkxFolderTree::CollapseBelow(QTreeWidgetItem* Node)
{
    // As a collapse does, the selection moves up to the node.
    for (QTreeWidgetItem* p = currentItem() ? currentItem()->parent() : nullptr; p; p = p->parent()) {
        if (p == Node) {
            setCurrentItem(Node);
            break;
        }
    }
    const std::function<void(QTreeWidgetItem*)> collapse = [&](QTreeWidgetItem* n) {
        for (int i = 0; i < n->childCount(); ++i) {
            if (n->child(i)->isExpanded())
                collapse(n->child(i));
        }
        n->setExpanded(false);
    };
    collapse(Node);
}

void TkxFolderTree::KeepSelection()
{
    FKept.reset();
    QTreeWidgetItem* node = currentItem();
    const TFolderNode* d = dataOf(node);
    if (!d)
        return;
    auto kept = std::make_unique<KeptSelection>();
    kept->Node = node;
    kept->Alive = d->FN_Alive;
    kept->Path = d->FN_Path;
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        kept->Ancestors.emplace_back(p, dataOf(p)->FN_Alive);
    FKept = std::move(kept);
}

void TkxFolderTree::RestoreSelection()
{
    const std::unique_ptr<KeptSelection> kept = std::move(FKept);
    if (!kept)
        return;
    QTreeWidgetItem* target = nullptr;
    if (!kept->Alive.expired()) {
        target = kept->Node;
    } else {
        for (const auto& [node, alive] : kept->Ancestors) {
            if (!alive.expired()) {
                target = FindBelow(node, kept->Path);  // the folder again, or the nearest one left
                break;
            }
        }
    }
    if (target && target != currentItem())
        SelectNode(target);
}

void TkxFolderTree::ReReadNode(QTreeWidgetItem* Node)
{
    TFolderNode* d = dataOf(Node);
    if (!d)
        return;
    const QuietChange quiet(this);
    // The collapse below moves a selection inside the node up to it, and a
    // nested re-read of an ancestor moves it up again; the folder selected
    // when the first re-read began is selected again once the last ends.
    struct Depth {
        QPointer<TkxFolderTree> tree;
        ~Depth()
        {
            if (tree && --tree->FReReadDepth == 0)
                tree->RestoreSelection();
        }
    } depth {this};
    if (FReReadDepth++ == 0)
        KeepSelection();
    const std::weak_ptr<const char> alive = d->FN_Alive;
    const QPointer<TkxFolderTree> self(this);
    const bool wasOpen = Node->isExpanded();
    if (wasOpen) {
        KX_UPDATE_SCOPE;
        CollapseBelow(Node);
    }
    // Lets the collapsed tree repaint; other watchers' re-reads may run here
    // and delete this node, or the tree.
    QCoreApplication::processEvents();
    if (!self || alive.expired())
        return;
    {
        KX_UPDATE_SCOPE;
        // Computer, Network and the trash stay below the Desktop.
        QList<QTreeWidgetItem*> keep;
        for (QTreeWidgetItem* child : Node->takeChildren()) {
            if (dataOf(child)->FN_Type == ftFolder)
                DeleteDetached(child);
            else
                keep.append(child);
        }
        Node->addChildren(keep);
        ExpandFolderNode(Node);
    }
    if (wasOpen)
        Node->setExpanded(true);
}

QTreeWidgetItem* TkxFolderTree::FindBelow(QTreeWidgetItem* Node, const QString& Path)
{
    QString folder = dataOf(Node)->FN_ShellFolder;
    if (!holds(folder, Path))
        return Node;
    for (const QString& part : partsBelow(folder, Path)) {
        if (Node->childCount() == 0)
            ExpandFolderNode(Node);
        folder = joinPath(folder, part);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < Node->childCount() && !next; ++i) {
            if (dataOf(Node->child(i))->FN_Path == folder)
                next = Node->child(i);
        }
        if (!next)
            break;
        Node = next;
    }
    return Node;
}

// --- watchers -----------------------------------------------------------------------

void TkxFolderTree::StartDirWatcher(QTreeWidgetItem* Node)
{
    TFolderNode* d = dataOf(Node);
    // Computer, Network, servers and the trash root have nothing to watch.
    if (!d || d->FN_Change_Thread || (d->FN_Type != ftFolder && d->FN_Type != ftDesktop))
        return;
    const QString path = GetPath(Node);
    if (path.isEmpty())
        return;
    std::erase_if(FWatchers, [](const std::unique_ptr<TThDirChange>& w) { return w->Finished(); });
    if (!FDirWatches)
        FDirWatches = new platform::DirectoryWatches(FMessageHandle);
    auto watcher = std::make_unique<TThDirChange>(this, Node, path);
    d->FN_Change_Thread = watcher.get();
    watcher->Start();
    FWatchers.push_back(std::move(watcher));
}

size_t TkxFolderTree::WatchCount() const { return FDirWatches ? FDirWatches->watchCount() : 0; }

size_t TkxFolderTree::RunningWatchers() const
{
    return size_t(std::count_if(FWatchers.begin(), FWatchers.end(),
                                [](const std::unique_ptr<TThDirChange>& w) { return !w->Finished(); }));
}

// --- colours -----------------------------------------------------------------------------

void TkxFolderTree::changeEvent(QEvent* event)
{
    QTreeWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        SysColorChange();
}

void TkxFolderTree::SysColorChange()
{
    if (!FDesktopNode)
        return;
    // Shown nodes without children read their folder again.
    for (QTreeWidgetItem* node = itemBelow(FDesktopNode); node; node = itemBelow(node)) {
        if (node->childCount() == 0
            && node->childIndicatorPolicy() == QTreeWidgetItem::DontShowIndicatorWhenChildless)
            ExpandFolderNode(node);
    }
}
