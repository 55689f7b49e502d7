#include "kxCommon/KXImageBox.h"

#include "kxCommon/kxGraphicUtils.h"
#include "platform/Canvas.h"
#include "platform/Exceptions.h"
#include "platform/Printer.h"

#include "HangGuard.h"
#include "TestApplication.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QScrollBar>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include "CostCorpus.h"
#include "RunTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <vector>

using namespace KXImageBoxLayout;

using fixture::runTool;
using fixture::ToolResult;

namespace {

QString Fixture(const char* name) { return QStringLiteral(FIXTURE_DIR "/") + QString::fromUtf8(name); }

// Records the keys that get past the scroll box.
class KeyRecorder : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys << event->key(); }
};

struct Selection {
    QObject* sender;
    int index;
    bool operator==(const Selection&) const = default;
};

class KXImageBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApplication();
        host = std::make_unique<KeyRecorder>();
        host->resize(400, 300);
        box = new TKXScrollBox(host.get());
        box->setGeometry(10, 10, 150, 160);
        box->OnSelectItem = [this](QObject* sender, int index) { selections.push_back({sender, index}); };
        host->show();
        host->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(host.get(), kHangGuard));
        box->setFocus();
        settle();
    }

    void settle() { QCoreApplication::processEvents(); }
    TKXImageBox& grid() { return *box->ImageBox(); }
    void load(const QString& path)
    {
        grid().SetFileName(path);
        settle();
    }
    QPoint cellCentre(int index)
    {
        return QPoint((index % grid().ColCount()) * grid().ColWidth() + grid().ColWidth() / 2,
                      (index / grid().ColCount()) * grid().RowHeight() + grid().RowHeight() / 2);
    }
    void key(Qt::Key k)
    {
        QTest::keyClick(box, k);
        settle();
    }

    std::unique_ptr<KeyRecorder> host;
    TKXScrollBox* box = nullptr;
    std::vector<Selection> selections;
};

// Width and height of every image on the PDF's pages.
QList<QSize> PdfImages(const QString& path)
{
    QList<QSize> sizes;
    const ToolResult list = runTool("pdfimages", {"-list", path});
    EXPECT_EQ(list.exitCode, 0) << list.output.toStdString();
    for (const QString& line : list.output.split('\n').mid(2)) {
        const QStringList f = line.split(' ', Qt::SkipEmptyParts);
        if (f.size() >= 5)
            sizes << QSize(f[3].toInt(), f[4].toInt());
    }
    return sizes;
}

int CountPixels(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

}  // namespace

TEST_F(KXImageBoxTest, LoadsOneCellPerGroupWithNothingSelected)
{
    const struct {
        const char* file;
        int count;
        int broken;  // groups no image of which decodes
    } cases[] = {{"groups32.dll", 3, 0}, {"loader.dll", 7, 1}, {"groups64.dll", 3, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        load(Fixture(c.file));
        ASSERT_EQ(grid().Count(), c.count);
        EXPECT_EQ(grid().ItemIndex(), -1);
        EXPECT_FALSE(grid().Associated());
        // A broken group keeps its place, so positions stay icon indexes.
        int broken = 0;
        for (int i = 0; i < c.count; ++i) {
            const platform::Icon& icon = grid().GetIcon(i);
            broken += icon.isNull();
            if (!icon.isNull()) {
                EXPECT_EQ(icon.width(), 32);
                EXPECT_EQ(icon.height(), 32);
            }
        }
        EXPECT_EQ(broken, c.broken);
        EXPECT_THROW(grid().GetIcon(c.count), platform::ListIndexError);
        EXPECT_THROW(grid().GetIcon(-1), platform::ListIndexError);
        // As wide as the viewport, as high as its rows.
        EXPECT_EQ(grid().width(), box->viewport()->width());
        EXPECT_EQ(grid().ColCount(), grid().width() / 42);
        EXPECT_EQ(grid().RowCount(), (c.count + grid().ColCount() - 1) / grid().ColCount());
        EXPECT_EQ(grid().height(), grid().RowCount() * 42 + 2);
    }
    EXPECT_TRUE(selections.empty());
}

TEST_F(KXImageBoxTest, FilesWithoutIconsOfTheirOwn)
{
    QTemporaryDir dir;
    const QString text = dir.filePath("notes.txt");
    const QString stub = dir.filePath("stub.exe");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("plain text, no icons\n");
        QFile g(stub);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write(QByteArray("MZ") + QByteArray(62, '\0'));
    }
    const struct {
        QString file;
        int count;
        bool associated;
    } cases[] = {
        {Fixture("noicons.dll"), 1, true},       // a module without icon groups
        {stub, 1, true},                         // an MZ file that is no valid module
        {Fixture("icons/mixed.ico"), 1, false},  // an icon file is its own icon
        {text, 0, false},                        // no icon source: extracted, none found
        {dir.filePath("missing.dll"), 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        load(c.file);
        EXPECT_EQ(grid().Count(), c.count);
        EXPECT_EQ(grid().Associated(), c.associated);
        EXPECT_EQ(grid().ItemIndex(), -1);
        if (c.count == 1) {
            EXPECT_EQ(grid().GetIcon(0).width(), 32);
        }
    }
}

TEST_F(KXImageBoxTest, EmptyGridShowsItsMessage)
{
    const QColor background = grid().palette().color(grid().backgroundRole());
    const auto marked = [&] {
        const QImage shot = grid().grab().toImage();
        return shot.width() * shot.height() - CountPixels(shot, background.rgb());
    };
    grid().SetUnableToLoadOrFindIconsMsg(QStringLiteral("Unable to load or find icons"));
    EXPECT_EQ(marked(), 0);  // no file named yet
    load(QDir::tempPath() + "/no such file.dll");
    ASSERT_EQ(grid().Count(), 0);
    EXPECT_GT(marked(), 30);
    grid().SetUnableToLoadOrFindIconsMsg(QString());
    EXPECT_EQ(marked(), 0);
    grid().SetText(QStringLiteral("Drop a file here"));
    EXPECT_GT(marked(), 30);
}

TEST_F(KXImageBoxTest, ClickSelectsAndReportsOnce)
{
    load(Fixture("loader.dll"));
    ASSERT_EQ(grid().ColCount(), 3);
    std::vector<QPoint> gridPresses, boxPresses;
    grid().OnMouseDown = [&](QObject* sender, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        EXPECT_EQ(sender, &grid());
        gridPresses.push_back({x, y});
    };
    box->OnMouseDown = [&](QObject* sender, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        EXPECT_EQ(sender, box);
        boxPresses.push_back({x, y});
    };
    int doubleClicks = 0;
    box->OnDblClick = [&](QObject*) { ++doubleClicks; };

    QTest::mouseClick(&grid(), Qt::LeftButton, {}, cellCentre(1));
    EXPECT_EQ(grid().ItemIndex(), 1);
    EXPECT_EQ(selections, (std::vector<Selection> {{box, 1}}));
    EXPECT_TRUE(box->hasFocus());
    EXPECT_EQ(gridPresses, (std::vector<QPoint> {cellCentre(1)}));
    EXPECT_EQ(boxPresses, gridPresses);

    QTest::mouseClick(&grid(), Qt::LeftButton, {}, cellCentre(1));
    EXPECT_EQ(selections.size(), 1u);  // the same cell again

    // The empty cells of the last row and the strip right of the last
    // column select the nearest icon before them.
    QTest::mouseClick(&grid(), Qt::LeftButton, {}, cellCentre(8));
    EXPECT_EQ(grid().ItemIndex(), 6);
    if (grid().width() > 3 * grid().ColWidth()) {
        QTest::mouseClick(&grid(), Qt::LeftButton, {}, QPoint(grid().width() - 1, cellCentre(3).y()));
        EXPECT_EQ(grid().ItemIndex(), 5);
    }
    QTest::mouseDClick(&grid(), Qt::LeftButton, {}, cellCentre(0));
    EXPECT_EQ(grid().ItemIndex(), 0);
    EXPECT_EQ(doubleClicks, 1);
}

TEST_F(KXImageBoxTest, KeysMoveTheSelection)
{
    load(Fixture("loader.dll"));  // 7 icons in 3 columns
    ASSERT_EQ(grid().ColCount(), 3);
    const struct {
        Qt::Key key;
        int index;
    } steps[] = {
        {Qt::Key_Left, -1}, {Qt::Key_Up, -1},      {Qt::Key_PageUp, -1}, {Qt::Key_Right, 0},
        {Qt::Key_End, 6},   {Qt::Key_Right, 6},    {Qt::Key_Down, 6},    {Qt::Key_Home, 0},
        {Qt::Key_Down, 3},  {Qt::Key_Down, 6},     {Qt::Key_Up, 3},      {Qt::Key_Left, 2},
        {Qt::Key_Up, 2},    {Qt::Key_PageDown, 5}, {Qt::Key_PageUp, 2},
    };
    int expectedEvents = 0;
    int previous = -1;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.key);
        key(s.key);
        EXPECT_EQ(grid().ItemIndex(), s.index);
        expectedEvents += s.index != previous;
        previous = s.index;
        EXPECT_EQ(static_cast<int>(selections.size()), expectedEvents);
        EXPECT_TRUE(box->hasFocus());
    }
    EXPECT_TRUE(host->keys.isEmpty());
}

TEST_F(KXImageBoxTest, ArrowsStayInAnEmptyGrid)
{
    int shortcuts = 0;
    QShortcut left(QKeySequence(Qt::Key_Left), host.get());
    left.setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(&left, &QShortcut::activated, [&] { ++shortcuts; });
    for (Qt::Key k : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down})
        key(k);
    EXPECT_TRUE(host->keys.isEmpty());
    EXPECT_EQ(shortcuts, 0);
    EXPECT_TRUE(box->hasFocus());
    EXPECT_TRUE(selections.empty());
}

TEST_F(KXImageBoxTest, NewRowScrollsIntoViewAndTheWheelMovesOneRow)
{
    box->setGeometry(10, 10, 150, 70);
    settle();
    load(Fixture("loader.dll"));
    QScrollBar* bar = box->verticalScrollBar();
    ASSERT_EQ(grid().ColCount(), 3);
    ASSERT_GT(grid().height(), box->viewport()->height());
    // Laid out for the width left beside the scroll bar.
    EXPECT_TRUE(box->verticalScrollBar()->isVisible());
    EXPECT_EQ(grid().width(), box->viewport()->width());
    const auto rowShows = [&](int index) {
        const int row = index / grid().ColCount();
        const int top = row * grid().RowHeight();
        const int bottom = (row + 1) * grid().RowHeight() - grid().Offset();
        return top >= bar->value()
            && (bottom <= bar->value() + box->viewport()->height() || bar->value() == bar->maximum());
    };
    for (Qt::Key k : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Home, Qt::Key_End,
                      Qt::Key_PageUp, Qt::Key_Home}) {
        key(k);
        EXPECT_TRUE(rowShows(grid().ItemIndex())) << k << " " << bar->value();
    }
    EXPECT_EQ(bar->value(), 0);

    const auto wheel = [&](int delta) {
        const QPointF at(20, 20);
        QWheelEvent event(at, grid().mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        // Where the grid, which takes no wheel, hands the event on to.
        QCoreApplication::sendEvent(box->viewport(), &event);
        settle();
    };
    wheel(-120);
    EXPECT_EQ(grid().ItemIndex(), 3);
    // Small touchpad steps add up to one notch.
    wheel(-40);
    wheel(-40);
    EXPECT_EQ(grid().ItemIndex(), 3);
    wheel(-40);
    EXPECT_EQ(grid().ItemIndex(), 6);
    EXPECT_TRUE(rowShows(6));
    // On the last row the wheel neither moves the selection nor the view.
    const int position = bar->value();
    wheel(-120);
    EXPECT_EQ(grid().ItemIndex(), 6);
    EXPECT_EQ(bar->value(), position);
    wheel(240);
    EXPECT_EQ(grid().ItemIndex(), 0);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(KXImageBoxTest, EveryLoadShowsTheTopOfTheGrid)
{
    // Each load starts scrolled to the bottom of a file that needs the bar:
    // a new name, the same name again, and a change of sizing.
    QTemporaryDir dir;
    const QString other = dir.filePath("other.dll");
    ASSERT_TRUE(QFile::copy(Fixture("loader.dll"), other));
    box->setGeometry(10, 10, 150, 70);
    settle();
    QScrollBar* bar = box->verticalScrollBar();
    const auto toBottom = [&] {
        grid().SetItemIndex(grid().Count() - 1);
        settle();
        ASSERT_GT(bar->value(), 0);
    };
    const auto atTop = [&] {
        settle();
        EXPECT_EQ(bar->value(), 0);
        EXPECT_EQ(grid().y(), 0);
    };
    load(Fixture("loader.dll"));
    toBottom();
    load(other);
    ASSERT_GT(grid().height(), box->viewport()->height());
    atTop();
    toBottom();
    grid().Refresh();
    atTop();
    toBottom();
    grid().SetIconSizing(isSmall);
    box->setGeometry(10, 10, 60, 40);
    settle();
    toBottom();
    grid().SetIconSizing(isLarge);
    atTop();
}

TEST_F(KXImageBoxTest, TheWheelOverTheScrollBarMovesTheSelection)
{
    box->setGeometry(10, 10, 150, 70);
    settle();
    load(Fixture("loader.dll"));  // 7 icons: rows of 3, 3 and 1
    ASSERT_EQ(grid().ColCount(), 3);
    grid().SetItemIndex(0);
    QScrollBar* bar = box->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    const auto wheel = [&](int delta) {
        const QPointF at(bar->width() / 2, bar->height() / 2);
        QWheelEvent event(at, bar->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        // Where the window delivers a wheel turned over the bar.
        QCoreApplication::sendEvent(bar, &event);
        settle();
    };
    wheel(-120);
    EXPECT_EQ(grid().ItemIndex(), 3);
    wheel(-120);
    EXPECT_EQ(grid().ItemIndex(), 6);
    EXPECT_EQ(bar->value(), bar->maximum());  // the selection brought its row into view
    // At the last row the wheel moves nothing; nor does the view move
    // without the selection.
    wheel(-120);
    EXPECT_EQ(grid().ItemIndex(), 6);
    wheel(120);
    EXPECT_EQ(grid().ItemIndex(), 3);
    wheel(120);
    EXPECT_EQ(grid().ItemIndex(), 0);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(KXImageBoxTest, NameAndSizingChangesReload)
{
    load(Fixture("groups32.dll"));
    grid().SetItemIndex(1);
    grid().SetFileName(Fixture("groups32.dll"));
    EXPECT_EQ(grid().ItemIndex(), 1);  // the same name does not reload
    grid().Refresh();
    EXPECT_EQ(grid().ItemIndex(), -1);

    grid().SetItemIndex(2);
    selections.clear();
    grid().SetIconSizing(isSmall);
    EXPECT_EQ(grid().ItemIndex(), -1);
    EXPECT_TRUE(selections.empty());
    ASSERT_EQ(grid().Count(), 3);
    EXPECT_EQ(grid().GetIcon(0).width(), 16);
    EXPECT_EQ(grid().ItemWidth(), 16);
    EXPECT_EQ(grid().ColWidth(), 26);
    EXPECT_EQ(grid().RowHeight(), 26);
    grid().SetIconSizing(isBoth);
    EXPECT_EQ(grid().GetIcon(0).width(), 32);
    EXPECT_EQ(grid().ColWidth(), 42);

    // Without a file the sizing changes only the metrics.
    load(QString());
    grid().SetIconSizing(isSmall);
    EXPECT_EQ(grid().Count(), 0);
    EXPECT_EQ(grid().RowHeight(), 26);
    EXPECT_EQ(grid().height(), 28);
}

TEST_F(KXImageBoxTest, SizeSettersNeverLetThePitchReachZero)
{
    load(Fixture("loader.dll"));
    const struct {
        int width, height, offset;
    } cases[] = {{0, 0, 6}, {32, 32, 0}, {-40, -40, -40}, {1, 1, 1}, {32, 32, 6}};
    for (const auto& c : cases) {
        grid().SetItemWidth(c.width);
        grid().SetItemHeight(c.height);
        grid().SetOffset(c.offset);
        EXPECT_GE(grid().ColWidth(), 1);
        EXPECT_GE(grid().RowHeight(), 1);
        EXPECT_GE(grid().ColCount(), 1);
        EXPECT_EQ(grid().height(), grid().RowCount() * grid().RowHeight() + 2);
        QTest::mouseClick(&grid(), Qt::LeftButton, {}, QPoint(5, 5));
        key(Qt::Key_PageDown);
        (void)grid().grab();
    }
    EXPECT_EQ(grid().ColWidth(), 42);
}

TEST_F(KXImageBoxTest, DropsReachTheHandlerWhole)
{
    EXPECT_FALSE(box->viewport()->acceptDrops());
    const QString longName = QStringLiteral("/tmp/") + QString(300, QChar('n')) + ".dll";
    const QStringList names = {QStringLiteral("/data/b second.dll"), QStringLiteral("/data/a.ico"), longName};
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& name : names)
        urls << QUrl::fromLocalFile(name);
    urls.insert(1, QUrl(QStringLiteral("https://example.invalid/remote.dll")));
    mime.setUrls(urls);

    struct Drop {
        QObject* sender;
        QPoint at;
        QStringList files;
    };
    std::vector<Drop> drops;
    box->SetOnDropFiles([&](QObject* sender, int x, int y, const QStringList& files) {
        drops.push_back({sender, {x, y}, files});
    });
    EXPECT_TRUE(box->viewport()->acceptDrops());

    const auto drop = [&](QPoint at) {
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(box->viewport(), &enter);
        QDropEvent event(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(box->viewport(), &event);
        return enter.isAccepted() && event.isAccepted();
    };
    EXPECT_TRUE(drop(QPoint(30, 40)));
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].sender, box);
    EXPECT_EQ(drops[0].at, QPoint(30, 40));
    EXPECT_EQ(drops[0].files, names);
    EXPECT_EQ(drops[0].files[2].size(), longName.size());

    // Over the scroll bar the window hands the drop to the nearest widget
    // that takes drops: the box.
    box->setGeometry(10, 10, 150, 70);
    box->ImageBox()->SetFileName(Fixture("loader.dll"));
    QCoreApplication::processEvents();
    QWidget* target = box->verticalScrollBar();
    ASSERT_TRUE(target->isVisible());
    while (target && !target->acceptDrops())
        target = target->parentWidget();
    ASSERT_NE(target, nullptr);
    const QPoint onBar = box->verticalScrollBar()->mapTo(target, QPoint(2, 2));
    QDragEnterEvent enter(onBar, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent onto(onBar, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &onto);
    EXPECT_TRUE(onto.isAccepted());
    ASSERT_EQ(drops.size(), 2u);
    EXPECT_EQ(drops[1].files, names);
    drops.pop_back();

    int other = 0;
    box->SetOnDropFiles([&](QObject*, int, int, const QStringList&) { ++other; });
    EXPECT_TRUE(drop(QPoint(5, 5)));
    EXPECT_EQ(other, 1);
    box->SetOnDropFiles({});
    EXPECT_FALSE(box->viewport()->acceptDrops());
    EXPECT_FALSE(box->acceptDrops());
    EXPECT_FALSE(drop(QPoint(5, 5)));
    EXPECT_EQ(other, 1);
    EXPECT_EQ(drops.size(), 1u);
}

TEST_F(KXImageBoxTest, DrawAllPaintsTheIconsAlone)
{
    QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
    const QRgb magenta = qRgb(255, 0, 255);
    const auto draw = [&] {
        image.fill(magenta);
        QPainter painter(&image);
        platform::Canvas canvas(painter);
        grid().DrawAll(canvas);
    };
    draw();  // no icon: nothing, and no failure
    EXPECT_EQ(CountPixels(image, magenta), 200 * 200);

    load(Fixture("groups32.dll"));
    grid().SetItemIndex(0);
    draw();
    TImageBoxLayout layout(32, 32, 6);
    layout.UpdateLayout(grid().width(), grid().Count());
    int insideIcons = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            bool inIcon = false;
            for (int i = 0; i < grid().Count(); ++i) {
                const TCellRect cell = layout.CellRect(i);
                inIcon
                    |= x >= cell.left + 4 && x < cell.right - 4 && y >= cell.top + 4 && y < cell.bottom - 4;
            }
            const bool painted = (image.pixel(x, y) & 0xFFFFFF) != (magenta & 0xFFFFFF);
            if (!inIcon) {
                ASSERT_FALSE(painted) << x << "," << y;
            }
            insideIcons += painted;
        }
    }
    EXPECT_GT(insideIcons, 3 * 32 * 8);
}

TEST_F(KXImageBoxTest, PrintsTheGridOrTheSelectedIcon)
{
    QTemporaryDir dir;
    const auto print = [&](const QString& name, bool all) {
        QPrinter device(QPrinter::HighResolution);
        device.setOutputFormat(QPrinter::PdfFormat);
        device.setOutputFileName(dir.filePath(name));
        platform::Printer printer(device);
        grid().Print(all, kPrintActualSize, printer);
        EXPECT_FALSE(printer.printing());
        return dir.filePath(name);
    };
    // Nothing to print is no failure, and no document.
    EXPECT_FALSE(QFile::exists(print("empty.pdf", true)));
    load(Fixture("loader.dll"));
    EXPECT_FALSE(QFile::exists(print("noselection.pdf", false)));

    const QString all = print("all.pdf", true);
    ASSERT_TRUE(QFile::exists(all));
    EXPECT_EQ(PdfImages(all),
              QList<QSize> {QSize(grid().ColWidth() * grid().ColCount() + 2, grid().height())});
    // The picture starts white: the margins around the icons stay white.
    ASSERT_EQ(runTool("pdfimages", {"-png", all, dir.filePath("all")}).exitCode, 0);
    const QImage picture(dir.filePath("all-000.png"));
    ASSERT_FALSE(picture.isNull());
    for (const QPoint p : {QPoint(0, 0), QPoint(picture.width() - 1, picture.height() - 1), QPoint(3, 20),
                           QPoint(picture.width() - 1, 0)}) {
        // The page may hold the picture lossily compressed.
        const QColor c = picture.pixelColor(p);
        EXPECT_GT(std::min({c.red(), c.green(), c.blue()}), 240) << p.x() << "," << p.y();
    }

    grid().SetItemIndex(2);
    const QString one = print("one.pdf", false);
    EXPECT_EQ(PdfImages(one), QList<QSize> {QSize(32, 32)});

    // A grid taller than the largest picture is refused before its picture
    // is made; its selected icon still prints.
    const fixture::ByteVec module = fixture::moduleOfSharedGroups(fixture::dibImage(16, 16, 4, 1), 1500);
    const QString many = dir.filePath(QStringLiteral("many.dll"));
    {
        QFile f(many);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(module.data()), static_cast<qint64>(module.size()));
    }
    load(many);
    ASSERT_GT(grid().height(), kMaxPictureSide);
    try {
        print("tall.pdf", true);
        ADD_FAILURE() << "printed";
    } catch (const platform::Error& e) {
        EXPECT_TRUE(e.message().contains(QLatin1String("larger than 16384 pixels on a side"))) << e.what();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("tall.pdf"))));
    grid().SetItemIndex(1499);
    EXPECT_EQ(PdfImages(print("last.pdf", false)), QList<QSize> {QSize(32, 32)});
}

TEST_F(KXImageBoxTest, ScreenshotShowsIconsSelectionAndFocus)
{
    box->setGeometry(10, 10, 200, 150);
    settle();
    load(Fixture("loader.dll"));
    grid().SetItemIndex(1);
    box->setFocus();
    settle();
    ASSERT_TRUE(box->hasFocus());

    const QImage shot = grid().grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb highlight = grid().palette().color(QPalette::Highlight).rgb() & 0xFFFFFF;
    const TCellRect cell = [&] {
        TImageBoxLayout layout(32, 32, 6);
        layout.UpdateLayout(grid().width(), grid().Count());
        return layout.CellRect(1);
    }();
    // The highlight inside the frame, the dotted inverted frame on its edge.
    EXPECT_EQ(shot.pixel(cell.left + 1, cell.top + 2) & 0xFFFFFF, highlight);
    int dots = 0;
    for (int x = cell.left; x < cell.right; ++x) {
        const QRgb p = shot.pixel(x, cell.top) & 0xFFFFFF;
        EXPECT_EQ(p, ((x + cell.top) % 2 == 0) ? (~highlight & 0xFFFFFF) : highlight) << x;
        dots += p != highlight;
    }
    EXPECT_EQ(dots, (cell.right - cell.left) / 2);
    // Only the selected cell is highlighted.
    EXPECT_EQ(CountPixels(shot.copy(0, 0, grid().ColWidth(), grid().RowHeight()), highlight), 0);

    QDir().mkpath(TEST_OUTPUT_DIR);
    const QString path = QStringLiteral(TEST_OUTPUT_DIR "/KXImageBox-loader.png");
    const QImage view = box->grab().toImage();
    ASSERT_TRUE(view.save(path, "PNG"));
    // Enlarged without smoothing, so that the one-pixel dotted focus frame shows.
    const QString enlarged = QStringLiteral(TEST_OUTPUT_DIR "/KXImageBox-loader-x3.png");
    ASSERT_TRUE(
        view.scaled(view.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(enlarged, "PNG"));
    std::cout << "Screenshot of the icon grid: " << path.toStdString()
              << " (enlarged: " << enlarged.toStdString() << ")" << std::endl;
    RecordProperty("screenshot", path.toStdString());
}
