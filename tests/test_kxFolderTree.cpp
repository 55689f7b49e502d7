#include "kxCommon/kxFolderTree.h"

#include "support/HangGuard.h"
#include "support/InotifyUse.h"
#include "support/TestApplication.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool waitFor(const std::function<bool()>& done, int ms = kHangGuard)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// Lets the event loop run for a while, so that a wrong re-read would show.
void settle(int ms = 250)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

QStringList texts(QTreeWidgetItem* node)
{
    QStringList list;
    for (int i = 0; node && i < node->childCount(); ++i)
        list << node->child(i)->text(0);
    return list;
}

QTreeWidgetItem* child(QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; node && i < node->childCount(); ++i) {
        if (node->child(i)->text(0) == text)
            return node->child(i);
    }
    return nullptr;
}

bool anyOpen(QTreeWidgetItem* node)
{
    for (int i = 0; i < node->childCount(); ++i) {
        if (node->child(i)->isExpanded())
            return true;
    }
    return false;
}

// Every persistent index of the tree's model names a node still in the
// tree, at its row: the toolkit walks them all on each removal, so one
// naming a freed node is a crash waiting for the next one.
bool persistentIndexesNameLiveNodes(QTreeWidget& tree)
{
    // The list is protected; a member pointer taken in a derived scope
    // reaches it on the model itself.
    struct Peek : QAbstractItemModel {
        static auto list() { return &Peek::persistentIndexList; }
    };
    QHash<const void*, int> rows;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        QTreeWidgetItem* item = *it;
        rows.insert(item,
                    item->parent() ? item->parent()->indexOfChild(item) : tree.indexOfTopLevelItem(item));
    }
    for (const QModelIndex& index : (tree.model()->*Peek::list())()) {
        if (index.isValid() && rows.value(index.internalPointer(), -1) != index.row())
            return false;
    }
    return true;
}

int expandedBelow(QTreeWidgetItem* node)
{
    int count = 0;
    for (int i = 0; i < node->childCount(); ++i)
        count += int(node->child(i)->isExpanded()) + expandedBelow(node->child(i));
    return count;
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// A desktop, a trash, two volumes and a network share in a temporary
// folder, with a mount table of its own.
class FolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApplication();
        ASSERT_TRUE(dir.isValid());
        root = dir.path();
        desktop = root + "/Desktop";
        for (const char* folder :
             {"Desktop/alpha/inner/deep", "Desktop/Beta", "Desktop/gamma", "Desktop/.hidden", "trash/old",
              "media/usb/icons/16", "media/cd", "srv/nas/pub"})
            ASSERT_TRUE(QDir().mkpath(root + "/" + folder));
        ASSERT_TRUE(QFile::link(desktop + "/alpha", desktop + "/link"));
        QFile note(desktop + "/notes.txt");
        ASSERT_TRUE(note.open(QIODevice::WriteOnly));
        writeMounts({rootLine, usbLine, nasLine});
    }

    void TearDown() override { tree.reset(); }

    void writeMounts(const QStringList& lines)
    {
        QFile file(root + "/mountinfo");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write((lines.join(u'\n') + u'\n').toUtf8());
    }

    TkxFolderTree& make(SFolderOption options = {foNetworkNeighborhood, foRecycleBin})
    {
        tree = std::make_unique<TkxFolderTree>(
            nullptr, TFolderTreePlaces {desktop, root + "/trash", root + "/mountinfo", root + "/gvfs"});
        tree->SetFolderOptions(options);
        tree->resize(260, 420);
        QCoreApplication::processEvents();  // builds the roots
        return *tree;
    }

    QTreeWidgetItem* desktopChild(const QString& text) { return child(tree->DesktopNode(), text); }
    QTreeWidgetItem* open(QTreeWidgetItem* node)
    {
        node->setExpanded(true);
        return node;
    }
    bool mkdir(const QString& path) { return QDir().mkdir(root + "/" + path); }

    QTemporaryDir dir;
    QString root, desktop;
    QString rootLine = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw";
    QString usbLine = "41 22 8:17 / " + QString(dir.path()).replace(" ", "\\040")
        + "/media/usb rw,nosuid shared:300 - vfat /dev/nosuchdisk1 rw";
    QString nasLine = "45 22 0:50 / " + dir.path() + "/srv/nas rw shared:400 - nfs4 nas:/export rw";
    std::unique_ptr<TkxFolderTree> tree;
};

TEST_F(FolderTreeTest, RootsInOrderAndFoldersReadOneLevelAtATime)
{
    auto& t = make();
    ASSERT_NE(t.DesktopNode(), nullptr);
    EXPECT_TRUE(t.DesktopNode()->isExpanded());
    EXPECT_EQ(texts(t.DesktopNode()),
              QStringList({"Computer", "Network", "Trash", ".hidden", "alpha", "Beta", "gamma", "link"}));
    EXPECT_EQ(t.NodeType(t.DesktopNode()), ftDesktop);
    EXPECT_EQ(t.Selected(), t.DesktopNode());  // an owner showing the folder at once has one
    EXPECT_EQ(t.NodeType(t.MyComputerNode()), ftMyComputer);
    EXPECT_EQ(t.NodeType(nullptr), ftNone);

    // Nothing below the Desktop is read before it is opened.
    QTreeWidgetItem* alpha = desktopChild("alpha");
    EXPECT_EQ(alpha->childCount(), 0);
    EXPECT_EQ(alpha->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(desktopChild("gamma")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    EXPECT_EQ(t.MyComputerNode()->childCount(), 0);

    open(alpha);
    EXPECT_EQ(texts(alpha), QStringList {"inner"});
    EXPECT_EQ(child(alpha, "inner")->childCount(), 0);
    EXPECT_EQ(child(alpha, "inner")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

    // A link to a folder lists its target's folders, under its own path,
    // and carries the link overlay.
    QTreeWidgetItem* link = open(desktopChild("link"));
    EXPECT_EQ(t.GetPath(child(link, "inner")), desktop + "/link/inner");
    EXPECT_NE(link->icon(0).pixmap(16).toImage(), alpha->icon(0).pixmap(16).toImage());

    // Volumes keep the mount table's order, "/" first.
    open(t.MyComputerNode());
    EXPECT_EQ(texts(t.MyComputerNode()), QStringList({"/", "usb", "nas"}));
    open(t.NetHoodNode());
    EXPECT_EQ(texts(t.NetHoodNode()), QStringList {"nas"});
    QTreeWidgetItem* server = open(child(t.NetHoodNode(), "nas"));
    EXPECT_EQ(texts(server), QStringList {"export"});
    EXPECT_EQ(t.GetPath(child(server, "export")), root + "/srv/nas");
    open(t.BitBucketNode());
    EXPECT_EQ(texts(t.BitBucketNode()), QStringList {"old"});
}

TEST_F(FolderTreeTest, OptionalNodesOnlyWhenAsked)
{
    auto& t = make({});
    EXPECT_EQ(texts(t.DesktopNode()).mid(0, 2), QStringList({"Computer", ".hidden"}));
    EXPECT_EQ(t.NetHoodNode(), nullptr);
    EXPECT_EQ(t.BitBucketNode(), nullptr);
}

TEST_F(FolderTreeTest, OpeningAFolderWithoutSubFoldersDropsItsButton)
{
    auto& t = make();
    QTreeWidgetItem* inner = child(open(desktopChild("alpha")), "inner");
    ASSERT_EQ(inner->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    ASSERT_TRUE(QDir(desktop + "/alpha/inner/deep").removeRecursively());
    open(inner);
    EXPECT_FALSE(inner->isExpanded());
    EXPECT_EQ(inner->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    EXPECT_EQ(t.NodeData(inner)->FN_Change_Thread, nullptr);

    // A folder that cannot be read keeps its button and is not opened.
    QTreeWidgetItem* gamma = desktopChild("gamma");
    t.NodeData(gamma)->FN_ShellFolder = root + "/nosuchfolder";
    gamma->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    open(gamma);
    EXPECT_FALSE(gamma->isExpanded());
    EXPECT_EQ(gamma->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
}

TEST_F(FolderTreeTest, GetPathOfEveryKindOfNode)
{
    auto& t = make();
    open(t.MyComputerNode());
    open(t.NetHoodNode());
    const struct {
        QTreeWidgetItem* node;
        QString path;
    } cases[] = {
        {nullptr, ""},
        {t.DesktopNode(), desktop},
        {t.MyComputerNode(), ""},
        {t.NetHoodNode(), ""},
        {t.BitBucketNode(), ""},
        {child(t.NetHoodNode(), "nas"), ""},
        {child(t.MyComputerNode(), "/"), "/"},
        {child(t.MyComputerNode(), "usb"), root + "/media/usb"},
        {desktopChild(".hidden"), desktop + "/.hidden"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(t.GetPath(c.node), c.path) << (c.node ? c.node->text(0).toStdString() : "nullptr");
    EXPECT_EQ(t.NodeData(t.NetHoodNode())->FN_Path, "//");
    EXPECT_EQ(t.NodeData(child(t.NetHoodNode(), "nas"))->FN_Path, "//nas");
}

TEST_F(FolderTreeTest, WritingFolderSelectsTheDeepestNodeOnThePath)
{
    auto& t = make();
    QTreeWidgetItem* const none = nullptr;
    const struct {
        QString written;
        QString selected;  // empty: the selection is cleared
        bool belowDesktop;
    } cases[] = {
        {desktop + "/alpha/inner/NoSuchFolder", desktop + "/alpha/inner", true},
        {desktop + "/alpha/inner/deep/", desktop + "/alpha/inner/deep", true},
        {desktop, desktop, true},
        {desktop + "/ALPHA", desktop, true},  // names are case-sensitive
        {root + "/media/usb/icons/16", root + "/media/usb/icons/16", false},
        {root + "/srv", root + "/srv", false},
        {"/", "/", false},
        {"", "", false},
        {"C:", "", false},
        {"ab", "", false},
        {"//nas/export/pub", root + "/srv/nas/pub", false},
        {"//nosuchhost/x", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written.toStdString());
        t.SetSelected(t.DesktopNode()->child(4));
        t.SetFolder(c.written);
        QCoreApplication::processEvents();
        EXPECT_EQ(t.Folder(), c.selected);
        if (c.selected.isEmpty()) {
            EXPECT_EQ(t.Selected(), none);
            continue;
        }
        // Through the Desktop, or through the volume that holds it.
        QTreeWidgetItem* top = t.Selected();
        while (top->parent() && top->parent() != t.DesktopNode())
            top = top->parent();
        EXPECT_EQ(top == t.DesktopNode() || t.NodeType(top) == ftFolder, c.belowDesktop);
    }
    // A volume below "/" is reached through its own node.
    t.SetFolder(root + "/media/usb/icons");
    QCoreApplication::processEvents();
    EXPECT_EQ(t.Selected()->parent()->parent(), t.MyComputerNode());
    EXPECT_EQ(t.Selected()->parent()->text(0), "usb");

    t.SetFolder("//nas");
    QCoreApplication::processEvents();
    EXPECT_EQ(t.Selected(), child(t.NetHoodNode(), "nas"));
}

TEST_F(FolderTreeTest, WritingTheSameFolderDoesNothing)
{
    auto& t = make();
    t.SetFolder(desktop + "/alpha");
    QCoreApplication::processEvents();
    ASSERT_EQ(t.Folder(), desktop + "/alpha");
    QSignalSpy changes(&t, &TkxFolderTree::OnChange);
    t.SetFolder(desktop + "/alpha");
    QCoreApplication::processEvents();
    EXPECT_EQ(changes.count(), 0);
    t.SetFolder(desktop + "/alpha/");  // another text for the same node
    QCoreApplication::processEvents();
    EXPECT_EQ(changes.count(), 0);
    t.SetFolder(desktop + "/Beta");
    QCoreApplication::processEvents();
    EXPECT_EQ(changes.count(), 1);

    // A write before the roots exist is looked up once they do.
    tree = std::make_unique<TkxFolderTree>(
        nullptr, TFolderTreePlaces {desktop, root + "/trash", root + "/mountinfo", root + "/gvfs"});
    QSignalSpy early(tree.get(), &TkxFolderTree::OnChange);
    tree->SetFolder(desktop + "/gamma");
    QCoreApplication::processEvents();
    EXPECT_EQ(tree->Folder(), desktop + "/gamma");
    EXPECT_EQ(early.count(), 1);  // not the Desktop first
    // Without Network, a network path clears the selection.
    tree->SetFolder("//nas/export");
    QCoreApplication::processEvents();
    EXPECT_EQ(tree->Selected(), nullptr);
}

TEST_F(FolderTreeTest, SubFolderChangesReReadAnOpenFolder)
{
    auto& t = make();
    QTreeWidgetItem* alpha = open(desktopChild("alpha"));
    open(child(alpha, "inner"));
    ASSERT_NE(t.NodeData(alpha)->FN_Change_Thread, nullptr);
    ASSERT_TRUE(waitFor([&] { return t.RunningWatchers() == 3; }));  // Desktop, alpha, inner

    const struct {
        std::function<bool()> change;
        QStringList after;
    } steps[] = {
        {[&] { return mkdir("Desktop/alpha/Zulu") && mkdir("Desktop/alpha/beta"); },
         {"beta", "inner", "Zulu"}},
        {[&] { return QDir().rmdir(desktop + "/alpha/Zulu"); }, {"beta", "inner"}},
        {[&] { return QDir().rename(desktop + "/alpha/beta", desktop + "/alpha/aardvark"); },
         {"aardvark", "inner"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.after.join(",").toStdString());
        ASSERT_TRUE(step.change());
        EXPECT_TRUE(waitFor([&] { return texts(alpha) == step.after; }))
            << texts(alpha).join(",").toStdString();
        EXPECT_TRUE(alpha->isExpanded());
        EXPECT_FALSE(anyOpen(alpha));
    }

    // Files, and folders two levels down, leave the node as it is.
    QTreeWidgetItem* aardvark = child(alpha, "aardvark");
    QFile file(desktop + "/alpha/file.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QFile::remove(desktop + "/alpha/file.txt"));
    ASSERT_TRUE(mkdir("Desktop/alpha/aardvark/sub"));
    settle();
    EXPECT_EQ(child(alpha, "aardvark"), aardvark);

    // The Desktop's re-read keeps Computer, Network and the trash.
    ASSERT_TRUE(mkdir("Desktop/delta"));
    EXPECT_TRUE(waitFor([&] { return child(t.DesktopNode(), "delta") != nullptr; }));
    EXPECT_EQ(
        texts(t.DesktopNode()),
        QStringList({"Computer", "Network", "Trash", ".hidden", "alpha", "Beta", "delta", "gamma", "link"}));
    EXPECT_NE(t.MyComputerNode(), nullptr);
}

// The Desktop always shows Computer and the rest: it is watched even when
// its folder holds no folder yet, so the first one made there shows. Both
// an empty Desktop folder and a home without folders standing in for it.
TEST_F(FolderTreeTest, AnEmptyDesktopShowsTheFirstFolderMadeOnIt)
{
    for (const char* place : {"EmptyDesktop", "home"}) {
        SCOPED_TRACE(place);
        desktop = root + "/" + place;
        ASSERT_TRUE(QDir().mkpath(desktop));
        if (QString(place) == "home") {
            QFile profile(desktop + "/.profile");
            ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
        }
        auto& t = make();
        ASSERT_EQ(texts(t.DesktopNode()).join(",").toStdString(), "Computer,Network,Trash");
        EXPECT_NE(t.NodeData(t.DesktopNode())->FN_Change_Thread, nullptr);
        EXPECT_EQ(t.WatchCount(), 1u);

        ASSERT_TRUE(QDir().mkdir(desktop + "/New"));
        EXPECT_TRUE(waitFor([&] { return child(t.DesktopNode(), "New") != nullptr; }));
        EXPECT_EQ(texts(t.DesktopNode()).join(",").toStdString(), "Computer,Network,Trash,New");
        EXPECT_TRUE(t.DesktopNode()->isExpanded());
        EXPECT_EQ(t.WatchCount(), 1u);  // the re-read starts no second one
    }
}

// A folder whose sub-folders come and go all the time (a busy /tmp) is read
// again a few times a second, not at every change, and still shows each
// state: the last one once the churn stops (how soon is measured in bench/).
TEST_F(FolderTreeTest, SubFoldersChurningAreReadAFewTimesASecond)
{
    auto& t = make();
    QTreeWidgetItem* alpha = open(desktopChild("alpha"));
    ASSERT_TRUE(waitFor([&] { return t.RunningWatchers() == 2; }));  // Desktop, alpha
    int reReads = 0;
    // A re-read adds all the folder's children back in one go.
    QObject::connect(t.model(), &QAbstractItemModel::rowsInserted, &t, [&](const QModelIndex& parent) {
        if (parent.isValid() && t.itemFromIndex(parent) == alpha)
            ++reReads;
    });

    QElapsedTimer churning;
    churning.start();
    for (int i = 1; i <= 100; ++i) {
        ASSERT_TRUE(mkdir(QString("Desktop/alpha/churn%1").arg(i)));
        if (i > 1) {
            ASSERT_TRUE(QDir().rmdir(desktop + QString("/alpha/churn%1").arg(i - 1)));
        }
        settle(10);
    }
    const qint64 elapsed = churning.elapsed();
    const int duringChurn = reReads;
    EXPECT_GE(duringChurn, 2) << "the folder waits for the churn to stop";
    EXPECT_LE(duringChurn, int(elapsed / 250) + 2) << elapsed << " ms";

    ASSERT_TRUE(QDir().rmdir(desktop + "/alpha/churn100"));
    EXPECT_TRUE(waitFor([&] { return texts(alpha) == QStringList({"inner"}); }))
        << texts(alpha).join(",").toStdString();
    EXPECT_TRUE(alpha->isExpanded());
    settle(600);
    EXPECT_EQ(texts(alpha), QStringList({"inner"}));
    EXPECT_LE(reReads - duringChurn, 2);
}

TEST_F(FolderTreeTest, AReReadKeepsTheSelectionOnItsFolder)
{
    static std::atomic<int> invalidIndex {0};
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
              if (m.contains("Invalid index"))
                  ++invalidIndex;
          });
    auto& t = make();
    QTreeWidgetItem* alpha = open(desktopChild("alpha"));
    t.SetFolder(desktop + "/alpha/inner/deep");
    ASSERT_TRUE(waitFor([&] { return t.Folder() == desktop + "/alpha/inner/deep"; }));
    ASSERT_TRUE(waitFor([&] { return t.RunningWatchers() == 3; }));  // Desktop, alpha, inner
    QSignalSpy changes(&t, &TkxFolderTree::OnChange);

    // Siblings come and go beside the chosen folder and beside its parent.
    for (const char* sibling : {"Desktop/alpha/side", "Desktop/alpha/inner/side"}) {
        SCOPED_TRACE(sibling);
        const std::weak_ptr<const char> before = t.NodeData(t.Selected())->FN_Alive;
        ASSERT_TRUE(mkdir(sibling));
        ASSERT_TRUE(QDir().rmdir(root + "/" + sibling));
        ASSERT_TRUE(waitFor([&] { return before.expired(); }));  // re-read
        settle(100);
        EXPECT_EQ(t.Folder(), desktop + "/alpha/inner/deep");
        EXPECT_EQ(t.Selected(), t.currentItem());
        EXPECT_TRUE(t.Selected()->parent()->isExpanded());
        EXPECT_EQ(changes.count(), 0);
    }
    // The chosen folder goes: the nearest one left takes the selection, once.
    ASSERT_TRUE(QDir().rmdir(desktop + "/alpha/inner/deep"));
    EXPECT_TRUE(waitFor([&] { return t.Folder() == desktop + "/alpha/inner"; }));
    settle(100);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_TRUE(alpha->isExpanded());
    qInstallMessageHandler(previous);
    EXPECT_EQ(invalidIndex.load(), 0);
}

TEST_F(FolderTreeTest, AChangeHandlerThatReReadsTheParentLeavesSelectingSafe)
{
    // The find panel's search lets queued re-reads run from inside the
    // change handler; one of them may delete the node being selected.
    ASSERT_TRUE(mkdir("Desktop/alpha/a0"));  // inner is not the first row
    auto& t = make();
    QTreeWidgetItem* alpha = open(desktopChild("alpha"));
    int reReads = 0;
    QObject::connect(&t, &TkxFolderTree::OnChange, &t, [&](QTreeWidgetItem* node) {
        if (node && node->parent() == alpha && reReads++ == 0)
            t.ReReadNode(alpha);
    });
    t.SetFolder(desktop + "/alpha/inner");
    ASSERT_TRUE(waitFor([&] { return reReads > 0; }));
    settle(50);
    EXPECT_EQ(t.Folder(), desktop + "/alpha/inner");
    EXPECT_EQ(reReads, 1);
    // The handler ran once the toolkit was done selecting, so it kept no
    // index of the node the re-read freed.
    EXPECT_TRUE(persistentIndexesNameLiveNodes(t));
    t.DeleteFolderNode(t.DesktopNode());
}

// "*" opens every folder below the selected one, but none reached through a
// link: back leads up to alpha, and each turn would be a new node.
TEST_F(FolderTreeTest, AsteriskOpensTheFoldersBelowButFollowsNoLink)
{
    ASSERT_TRUE(QFile::link(desktop + "/alpha", desktop + "/alpha/inner/back"));
    ASSERT_TRUE(mkdir("Desktop/alpha/inner/deep/deeper"));
    auto& t = make();
    for (const char* start : {"alpha", "link"}) {
        SCOPED_TRACE(start);
        QTreeWidgetItem* top = desktopChild(start);
        t.SetSelected(top);
        QTest::keyClick(&t, Qt::Key_Asterisk);
        ASSERT_TRUE(waitFor([&] { return !t.ExpandingAll(); }));
        ASSERT_TRUE(top->isExpanded());
        QTreeWidgetItem* inner = child(top, "inner");
        ASSERT_NE(inner, nullptr);
        EXPECT_TRUE(inner->isExpanded());
        EXPECT_TRUE(child(inner, "deep")->isExpanded());
        ASSERT_NE(child(child(inner, "deep"), "deeper"), nullptr);
        QTreeWidgetItem* back = child(inner, "back");
        ASSERT_NE(back, nullptr);
        EXPECT_FALSE(back->isExpanded());
        EXPECT_EQ(back->childCount(), 0);
    }
}

// "*" on a large tree leaves the window answering while it walks, and Esc
// stops it where it is.
TEST_F(FolderTreeTest, AsteriskLeavesTheWindowAnsweringAndStopsAtEsc)
{
    const QString letters = "abcdefgh";
    int folders = 0;
    for (QChar a : letters)
        for (QChar b : letters)
            for (QChar c : letters)
                for (QChar d : letters) {
                    ASSERT_TRUE(QDir().mkpath(desktop + "/wide/" + a + "/" + b + "/" + c + "/" + d + "/x"));
                    folders += 1;
                }
    folders += 8 + 64 + 512;
    auto& t = make();
    QTreeWidgetItem* wide = desktopChild("wide");
    t.SetSelected(wide);
    bool answered = false;
    QTimer::singleShot(0, &t, [&] { answered = true; });
    QTest::keyClick(&t, Qt::Key_Asterisk);
    ASSERT_TRUE(waitFor([&] { return answered; }));
    EXPECT_TRUE(t.ExpandingAll());
    QTest::keyClick(&t, Qt::Key_Escape);
    EXPECT_FALSE(t.ExpandingAll());
    const int opened = expandedBelow(wide);
    settle();
    EXPECT_EQ(expandedBelow(wide), opened);
    EXPECT_GT(opened, 0);
    EXPECT_LT(opened, folders);
}

// "*" walks no kernel file system: their folders are endless, or costly.
TEST_F(FolderTreeTest, AsteriskWalksNoKernelFileSystem)
{
    for (const char* folder : {"walk/proc/self/fd", "walk/cg/system/slice", "walk/plain/sub"})
        ASSERT_TRUE(QDir().mkpath(desktop + "/" + folder));
    const QString walk = QString(desktop).replace(" ", "\\040") + "/walk";
    writeMounts({rootLine, usbLine, nasLine, "60 22 0:999999 / " + walk + "/proc rw - proc proc rw",
                 "61 22 0:999998 / " + walk + "/cg rw - cgroup2 cgroup2 rw"});
    auto& t = make();
    QTreeWidgetItem* top = desktopChild("walk");
    t.SetSelected(top);
    QTest::keyClick(&t, Qt::Key_Asterisk);
    ASSERT_TRUE(waitFor([&] { return !t.ExpandingAll(); }));
    ASSERT_TRUE(child(top, "plain")->isExpanded());
    ASSERT_NE(child(child(top, "plain"), "sub"), nullptr);
    for (const char* kernel : {"proc", "cg"}) {
        SCOPED_TRACE(kernel);
        EXPECT_FALSE(child(top, kernel)->isExpanded());
        EXPECT_EQ(child(top, kernel)->childCount(), 0);
    }
}

// "*" starts watches only up to its bound; a folder it opened past it is
// read again when it is next selected or opened, and watched from then on.
// A folder opened by hand is always watched.
TEST_F(FolderTreeTest, AsteriskHoldsBoundedWatchesAndRereadsTheRestWhenUsed)
{
    constexpr int kFolders = 30;
    for (int i = 0; i < kFolders; ++i)
        ASSERT_TRUE(QDir().mkpath(desktop + QString("/walk/f%1/sub").arg(i, 2, 10, QChar('0'))));
    ASSERT_TRUE(mkdir("Desktop/gamma/by-hand"));
    auto& t = make();
    t.resize(300, 900);
    t.show();
    t.SetExpandAllWatches(10);
    const int before = inotify_use::watches();  // the Desktop's among them
    QTreeWidgetItem* top = desktopChild("walk");
    t.SetSelected(top);
    QTest::keyClick(&t, Qt::Key_Asterisk);
    ASSERT_TRUE(waitFor([&] { return !t.ExpandingAll(); }));
    EXPECT_EQ(expandedBelow(top), kFolders);
    EXPECT_EQ(t.WatchCount(), 10u);
    EXPECT_EQ(inotify_use::watches() - before, 9);

    std::vector<QTreeWidgetItem*> unwatched;
    for (int i = 0; i < top->childCount(); ++i) {
        if (!t.NodeData(top->child(i))->FN_Change_Thread)
            unwatched.push_back(top->child(i));
    }
    ASSERT_GE(unwatched.size(), 2u);
    QTreeWidgetItem* clicked = unwatched[0];
    QTreeWidgetItem* reopened = unwatched[1];
    for (QTreeWidgetItem* node : {clicked, reopened})
        ASSERT_TRUE(QDir().mkdir(t.GetPath(node) + "/new"));
    settle();
    EXPECT_EQ(texts(clicked), QStringList {"sub"});  // not seen

    t.scrollToItem(clicked);
    QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, t.visualItemRect(clicked).center());
    EXPECT_TRUE(waitFor([&] { return texts(t.currentItem()) == QStringList({"new", "sub"}); }));
    EXPECT_NE(t.NodeData(t.currentItem())->FN_Change_Thread, nullptr);

    reopened->setExpanded(false);
    reopened->setExpanded(true);
    EXPECT_TRUE(waitFor([&] {
        QTreeWidgetItem* node = child(top, QFileInfo(t.GetPath(reopened)).fileName());
        return node && node->isExpanded() && texts(node) == QStringList({"new", "sub"})
            && t.NodeData(node)->FN_Change_Thread;
    }));

    EXPECT_NE(t.NodeData(open(desktopChild("gamma")))->FN_Change_Thread, nullptr);
}

TEST_F(FolderTreeTest, NestedReReadsKeepTheSelectedFolder)
{
    // The re-read of inner lets the one of alpha through, which lets the
    // Desktop's through: each moves the selection up as it collapses.
    auto& t = make();
    t.SetFolder(desktop + "/alpha/inner/deep");
    ASSERT_TRUE(waitFor([&] { return t.Folder() == desktop + "/alpha/inner/deep"; }));
    QSignalSpy changes(&t, &TkxFolderTree::OnChange);
    QTreeWidgetItem* alpha = desktopChild("alpha");
    QMetaObject::invokeMethod(
        &t, [&] { t.ReReadNode(alpha); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        &t, [&] { t.ReReadNode(t.DesktopNode()); }, Qt::QueuedConnection);
    t.ReReadNode(child(alpha, "inner"));
    settle(50);
    EXPECT_EQ(t.Folder(), desktop + "/alpha/inner/deep");
    EXPECT_EQ(changes.count(), 0);
    EXPECT_TRUE(persistentIndexesNameLiveNodes(t));
}

TEST_F(FolderTreeTest, AFolderNamedInAnotherEncodingSaysSoAndIsNotRead)
{
    const QByteArray bad = QFile::encodeName(desktop) + "/caf\351";
    const struct Cleanup {  // the toolkit cannot remove what it cannot name
        const QByteArray& folder;
        ~Cleanup()
        {
            ::rmdir((folder + "/inside").constData());
            ::rmdir(folder.constData());
        }
    } cleanup {bad};
    ASSERT_EQ(::mkdir(bad.constData(), 0700), 0);
    ASSERT_EQ(::mkdir((bad + "/inside").constData(), 0700), 0);
    auto& t = make();
    QTreeWidgetItem* node = desktopChild(QFile::decodeName(bad).section(u'/', -1));
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(t.NodeData(node)->FN_NameNotUtf8);
    EXPECT_EQ(node->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    node->setExpanded(true);
    EXPECT_EQ(node->childCount(), 0);
    EXPECT_EQ(t.RunningWatchers(), 1);  // the Desktop's only
    // Its path would name another folder: there is none to give.
    t.SetSelected(node);
    EXPECT_EQ(t.Folder(), QString());
    EXPECT_FALSE(t.NodeData(desktopChild("alpha"))->FN_NameNotUtf8);
}

TEST_F(FolderTreeTest, ADeletedNodesWatcherStopsAtOnce)
{
    auto& t = make();
    QTreeWidgetItem* alpha = open(desktopChild("alpha"));
    QTreeWidgetItem* inner = open(child(alpha, "inner"));
    TThDirChange* watcher = t.NodeData(inner)->FN_Change_Thread;
    ASSERT_NE(watcher, nullptr);
    EXPECT_EQ(watcher->WatchedPath(), desktop + "/alpha/inner");
    ASSERT_EQ(t.RunningWatchers(), 3u);

    // A change already queued when the node goes reaches nobody.
    const int watches = inotify_use::watches();
    ASSERT_TRUE(mkdir("Desktop/alpha/inner/more"));
    t.DeleteFolderNode(inner);
    EXPECT_TRUE(watcher->Finished());
    EXPECT_EQ(inotify_use::watches(), watches - 1);
    ASSERT_TRUE(mkdir("Desktop/alpha/inner/again"));
    settle(150);  // ASan sees a step that touches the freed node
}

TEST_F(FolderTreeTest, ARemovedOrRenamedFolderEndsItsWatch)
{
    auto& t = make();
    QTreeWidgetItem* alpha = open(desktopChild("alpha"));
    open(child(alpha, "inner"));
    ASSERT_TRUE(waitFor([&] { return t.RunningWatchers() == 3; }));

    ASSERT_TRUE(QDir().rename(desktop + "/alpha/inner", desktop + "/alpha/moved"));
    EXPECT_TRUE(waitFor([&] { return texts(alpha) == QStringList {"moved"}; }));
    EXPECT_TRUE(waitFor([&] { return t.RunningWatchers() == 2; }));

    open(child(alpha, "moved"));
    ASSERT_TRUE(waitFor([&] { return t.RunningWatchers() == 3; }));
    ASSERT_TRUE(QDir(desktop + "/alpha/moved").removeRecursively());
    EXPECT_TRUE(waitFor([&] { return texts(alpha).isEmpty(); }));
    EXPECT_TRUE(waitFor([&] { return t.RunningWatchers() == 2; }));
}

TEST_F(FolderTreeTest, ExpandedFoldersShareOneInotifyInstance)
{
    // "Expand all" on a full Desktop: one instance for every watcher, and
    // the user's other programs keep theirs.
    constexpr int kFolders = 40;
    const auto many = [](int i) { return QString("many%1").arg(i, 2, 10, QChar('0')); };
    for (int i = 0; i < kFolders; ++i)
        ASSERT_TRUE(mkdir("Desktop/" + many(i)) && mkdir("Desktop/" + many(i) + "/sub"));
    const int instancesBefore = inotify_use::instances();
    auto& t = make();
    const int watchesBefore = inotify_use::watches();
    std::vector<QTreeWidgetItem*> nodes;
    for (int i = 0; i < kFolders; ++i)
        nodes.push_back(open(desktopChild(many(i))));
    EXPECT_EQ(t.RunningWatchers(), size_t(kFolders + 1));      // and the Desktop
    EXPECT_LE(inotify_use::instances() - instancesBefore, 2);  // the watchers', the mount table's
    EXPECT_EQ(inotify_use::watches() - watchesBefore, kFolders);

    // Each still hears its own folder.
    ASSERT_TRUE(mkdir("Desktop/many07/new"));
    EXPECT_TRUE(waitFor([&] { return texts(nodes[7]) == QStringList({"new", "sub"}); }));
    settle(100);
    EXPECT_EQ(texts(nodes[8]), QStringList {"sub"});

    // A deleted node's watch is released at once.
    for (QTreeWidgetItem* node : nodes)
        t.DeleteFolderNode(node);
    EXPECT_EQ(inotify_use::watches(), watchesBefore);
    EXPECT_EQ(t.RunningWatchers(), 1u);
}

TEST_F(FolderTreeTest, NetworkListsEachServerWithItsShares)
{
    for (const char* folder : {"srv/public/icons", "srv/media", "srv/box"})
        ASSERT_TRUE(QDir().mkpath(root + "/" + folder));
    writeMounts({rootLine, nasLine,
                 "46 22 0:51 / " + root + "/srv/public rw - cifs //fileserver/Public rw,vers=3.1.1",
                 "47 22 0:52 / " + root + "/srv/media rw - smb3 //fileserver/Media rw",
                 "48 22 0:53 / " + root + "/srv/box rw - fuse.sshfs alice@build-box:/home/alice rw"});
    auto& t = make();
    open(t.NetHoodNode());
    EXPECT_EQ(texts(t.NetHoodNode()), QStringList({"nas", "fileserver", "build-box"}));
    QTreeWidgetItem* fileserver = open(child(t.NetHoodNode(), "fileserver"));
    EXPECT_EQ(texts(fileserver), QStringList({"Media", "Public"}));  // sorted, servers are not
    EXPECT_EQ(t.NodeType(fileserver), ftNetNode);
    EXPECT_EQ(texts(open(child(t.NetHoodNode(), "build-box"))), QStringList {"home/alice"});

    t.SetFolder("//fileserver/Public/icons");
    QCoreApplication::processEvents();
    EXPECT_EQ(t.Folder(), root + "/srv/public/icons");
    EXPECT_EQ(t.Selected()->parent()->parent(), fileserver);
}

TEST_F(FolderTreeTest, ANestedReReadThatDeletesTheNodeEndsTheOuterOne)
{
    auto& t = make();
    QTreeWidgetItem* alpha = open(desktopChild("alpha"));
    QTreeWidgetItem* inner = open(child(alpha, "inner"));
    ASSERT_TRUE(mkdir("Desktop/alpha/other"));
    // Waiting in the queue when the re-read of inner lets events through.
    QMetaObject::invokeMethod(
        &t, [&] { t.ReReadNode(alpha); }, Qt::QueuedConnection);
    t.ReReadNode(inner);  // inner is freed inside; ASan would see a touch
    EXPECT_EQ(texts(alpha), QStringList({"inner", "other"}));
    EXPECT_EQ(child(alpha, "inner")->childCount(), 0);
    EXPECT_TRUE(alpha->isExpanded());
}

TEST_F(FolderTreeTest, DestroyingTheTreeEndsEveryWatcher)
{
    make();
    tree.reset();
    const int before = threadCount();
    for (int round = 0; round < 3; ++round) {
        auto& t = make();
        QTreeWidgetItem* alpha = open(desktopChild("alpha"));
        open(child(alpha, "inner"));
        open(desktopChild("link"));
        ASSERT_TRUE(waitFor([&] { return t.RunningWatchers() == 4; }));
        // Changes whose notifications are on their way, or queued.
        ASSERT_TRUE(mkdir(QString("Desktop/alpha/r%1").arg(round)));
        ASSERT_TRUE(mkdir(QString("Desktop/alpha/inner/r%1").arg(round)));
        ASSERT_TRUE(mkdir(QString("Desktop/r%1").arg(round)));
        QThread::msleep(round * 15);
        tree.reset();
        EXPECT_EQ(threadCount(), before);
        settle(50);  // no step reaches the freed tree
    }
}

TEST_F(FolderTreeTest, MountChangesRebuildTheVolumes)
{
    auto& t = make();
    open(t.MyComputerNode());
    QTreeWidgetItem* usb = open(child(t.MyComputerNode(), "usb"));
    open(child(usb, "icons"));
    ASSERT_EQ(texts(t.MyComputerNode()), QStringList({"/", "usb", "nas"}));

    const QString cdLine = "70 22 11:0 / " + root + "/media/cd ro shared:700 - iso9660 /dev/sr0 ro";
    writeMounts({rootLine, cdLine, usbLine, nasLine});
    EXPECT_TRUE(waitFor([&] { return texts(t.MyComputerNode()) == QStringList({"/", "cd", "usb", "nas"}); }));
    EXPECT_EQ(child(t.MyComputerNode(), "usb"), usb);  // unchanged volumes stay as they are
    EXPECT_TRUE(anyOpen(usb));

    // Another medium in the same place: the node is read again when opened.
    QString otherUsb = usbLine;
    otherUsb.replace("41 22 8:17", "42 22 8:18");
    writeMounts({rootLine, cdLine, otherUsb, nasLine});
    EXPECT_TRUE(waitFor([&] { return usb->childCount() == 0; }));
    EXPECT_FALSE(usb->isExpanded());
    EXPECT_EQ(usb->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

    open(t.NetHoodNode());
    ASSERT_EQ(texts(t.NetHoodNode()), QStringList {"nas"});
    writeMounts({rootLine, cdLine});
    EXPECT_TRUE(waitFor([&] { return texts(t.MyComputerNode()) == QStringList({"/", "cd"}); }));
    EXPECT_TRUE(waitFor([&] { return texts(t.NetHoodNode()).isEmpty(); }));
}

// A volume mounted empty may be filled later: it keeps its button, and an
// opening once it holds folders shows them.
TEST_F(FolderTreeTest, AnEmptyVolumeKeepsItsButtonUntilItIsFilled)
{
    writeMounts({rootLine,
                 "70 22 11:0 / " + QString(root).replace(" ", "\\040") + "/media/cd ro - iso9660 /dev/sr0 ro",
                 usbLine, nasLine});
    auto& t = make();
    open(t.MyComputerNode());
    QTreeWidgetItem* cd = child(t.MyComputerNode(), "cd");
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(cd->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    cd->setExpanded(true);
    EXPECT_FALSE(cd->isExpanded());
    EXPECT_EQ(cd->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    ASSERT_TRUE(mkdir("media/cd/photos"));
    cd->setExpanded(true);
    EXPECT_TRUE(cd->isExpanded());
    EXPECT_EQ(texts(cd), QStringList {"photos"});
}

// A link to a folder that comes, goes or changes in a watched folder
// re-reads it as a folder does.
TEST_F(FolderTreeTest, LinksToFoldersThatChangeReReadTheirFolder)
{
    const QString alphaPath = desktop + "/alpha";
    ASSERT_TRUE(mkdir("Desktop/alpha/zeta"));
    ASSERT_TRUE(QFile::link(alphaPath + "/zeta", alphaPath + "/linkz"));
    auto& t = make();
    QTreeWidgetItem* alpha = open(desktopChild("alpha"));
    ASSERT_TRUE(waitFor([&] { return t.RunningWatchers() == 2; }));  // Desktop, alpha
    ASSERT_EQ(texts(alpha), QStringList({"inner", "linkz", "zeta"}));

    const auto relink = [&](const QString& target, const QString& name) {
        // Made aside and renamed over, as "ln -sfn" does.
        return QFile::link(target, alphaPath + "/.tmp")
            && ::rename(QFile::encodeName(alphaPath + "/.tmp"), QFile::encodeName(alphaPath + "/" + name))
            == 0;
    };
    const struct {
        const char* what;
        std::function<bool()> change;
        QStringList after;
    } steps[] = {
        {"one goes, another comes",
         [&] {
             return QFile::remove(alphaPath + "/linkz")
                 && QFile::link(alphaPath + "/zeta", alphaPath + "/linky");
         },
         {"inner", "linky", "zeta"}},
        {"one now leads to a file",
         [&] { return relink(desktop + "/notes.txt", "linky"); },
         {"inner", "zeta"}},
        {"a file's becomes a folder's",
         [&] { return relink(alphaPath + "/inner", "linky"); },
         {"inner", "linky", "zeta"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_TRUE(step.change());
        EXPECT_TRUE(waitFor([&] { return texts(alpha) == step.after; }))
            << texts(alpha).join(",").toStdString();
    }
    // A link to a file is no change.
    QTreeWidgetItem* inner = child(alpha, "inner");
    ASSERT_TRUE(QFile::link(desktop + "/notes.txt", alphaPath + "/tofile"));
    settle();
    EXPECT_EQ(child(alpha, "inner"), inner);
}

TEST_F(FolderTreeTest, Screenshot)
{
    auto& t = make();
    open(t.MyComputerNode());
    QTreeWidgetItem* alpha = open(desktopChild("alpha"));
    t.SetSelected(child(alpha, "inner"));
    t.show();
    settle(50);
    const QImage shot = t.grab().toImage();
    QDir().mkpath(TEST_OUTPUT_DIR);
    const QString path = QStringLiteral(TEST_OUTPUT_DIR "/kxFolderTree.png");
    ASSERT_TRUE(shot.save(path, "PNG"));
    std::cout << "Screenshot of the folder tree: " << path.toStdString() << std::endl;
    RecordProperty("screenshot", path.toStdString());
}

}  // namespace
