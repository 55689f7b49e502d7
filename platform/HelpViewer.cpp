#include "platform/HelpViewer.h"

#include "platform/ApplicationHelp.h"
#include "platform/MessageBoxes.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QSplitter>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <QWindow>

namespace platform {

namespace {

const QString kScheme = QStringLiteral("chm");

QList<QPointer<HelpViewer>>& viewers()
{
    static QList<QPointer<HelpViewer>> list;
    return list;
}

QString decodePage(const QByteArray& bytes)
{
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder(bytes);
}

QString findFile(const ChmArchive& archive, const QString& named, const QString& suffix)
{
    if (!named.isEmpty()) {
        const QString path = named.startsWith(u'/') ? named : u'/' + named;
        if (archive.contains(path))
            return path;
    }
    for (const QString& file : archive.files())
        if (file.endsWith(suffix, Qt::CaseInsensitive) && file.count(u'/') == 1)
            return file;
    return {};
}

bool sameFile(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

HelpViewer* viewerFor(const QString& file)
{
    for (const QPointer<HelpViewer>& viewer : viewers())
        if (viewer && sameFile(viewer->archive().path(), file))
            return viewer;
    return nullptr;
}

void reportUnreadable(const QString& file)
{
    const ApplicationHelp& application = applicationHelp();
    if (application.onUnreadableFile) {
        application.onUnreadableFile(file);
        return;
    }
    messageBoxes().show({QCoreApplication::applicationName(),
                         QStringLiteral("Unable to load the file:\r\n") + file, MsgType::Error, mbOK, mrOk});
}

HelpViewer* openViewer(const QString& file)
{
    if (HelpViewer* viewer = viewerFor(file))
        return viewer;
    std::unique_ptr<ChmArchive> archive = ChmArchive::open(file);
    if (!archive) {
        // A missing file was reported when the help file was chosen.
        if (QFileInfo::exists(file))
            reportUnreadable(file);
        return nullptr;
    }
    auto* viewer = new HelpViewer(std::move(archive));
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    // A help window never keeps the program running once its main window
    // closed; it goes when the help binding is released at exit.
    viewer->setAttribute(Qt::WA_QuitOnClose, false);
    viewers().append(viewer);
    return viewer;
}

// A modal dialog takes every click and key from the windows it blocks.
// Help asked for while one is up belongs to the dialog, which leaves it
// free and above it, for as long as the dialog is shown; the help window
// itself is never the dialog's, so it outlives it.
void freeFromModalWindow(HelpViewer* viewer)
{
    QWindow* modal = QGuiApplication::modalWindow();
    if (!modal)
        return;
    viewer->winId();
    QWindow* window = viewer->windowHandle();
    if (!window || window == modal)
        return;
    window->setTransientParent(modal);
    QObject::connect(modal, &QWindow::visibleChanged, window, [window, modal](bool visible) {
        if (!visible && window->transientParent() == modal)
            window->setTransientParent(nullptr);
    });
}

void raise(HelpViewer* viewer)
{
    freeFromModalWindow(viewer);
    if (viewer->isMinimized())
        viewer->showNormal();
    else
        viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

}  // namespace

// ---- the entry ------------------------------------------------------------

QWidget* HtmlHelpW(QWidget* caller, const char16_t* file, unsigned command, intptr_t data)
{
    (void)caller;  // the viewer is a window of its own, not kept above the caller
    (void)data;
    const QString text = file ? QString::fromUtf16(file) : QString();
    switch (command) {
    case CloseAll: {
        const QList<QPointer<HelpViewer>> open = viewers();
        viewers().clear();
        for (const QPointer<HelpViewer>& viewer : open)
            if (viewer) {
                viewer->close();
                delete viewer.data();
            }
        return nullptr;
    }
    case DisplayTopic: {
        const TopicAddress topic = parseTopicAddress(text);
        HelpViewer* viewer = openViewer(topic.file);
        if (!viewer)
            return nullptr;
        if (topic.page.isEmpty())
            viewer->showContents();
        else
            viewer->showPage(topic.page, topic.anchor);
        raise(viewer);
        return viewer;
    }
    case DisplayContents: {
        HelpViewer* viewer = openViewer(parseTopicAddress(text).file);
        if (!viewer)
            return nullptr;
        viewer->showContents();
        raise(viewer);
        return viewer;
    }
    default: return nullptr;
    }
}

HtmlHelpProc htmlHelpEntry(LibraryHandle library) { return bindChmLibrary(library) ? &HtmlHelpW : nullptr; }

QList<HelpViewer*> helpViewers()
{
    QList<HelpViewer*> list;
    for (const QPointer<HelpViewer>& viewer : viewers())
        if (viewer)
            list << viewer.data();
    return list;
}

// ---- the page -------------------------------------------------------------

HelpBrowser::HelpBrowser(const ChmArchive& archive, QWidget* parent)
    : QTextBrowser(parent), m_archive(archive)
{
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::followLink);
}

QUrl HelpBrowser::pageUrl(const QString& page, const QString& anchor)
{
    QUrl url;
    url.setScheme(kScheme);
    url.setPath(page.startsWith(u'/') ? page : u'/' + page);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    return url;
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name)
{
    QUrl url = name;
    if (url.isRelative())
        url = source().resolved(url);
    if (url.scheme() != kScheme)
        return {};
    const std::optional<QByteArray> bytes = m_archive.read(url.path());
    if (!bytes)
        return {};
    switch (type) {
    case QTextDocument::HtmlResource: return decodePage(*bytes);
    case QTextDocument::StyleSheetResource: return QString::fromUtf8(*bytes);
    case QTextDocument::ImageResource: return QImage::fromData(*bytes);
    default: return *bytes;
    }
}

void HelpBrowser::followLink(const QUrl& link)
{
    const QUrl url = link.isRelative() ? source().resolved(link) : link;
    if (url.scheme() == kScheme)
        setSource(url);
    else
        QDesktopServices::openUrl(url);
}

// ---- the window -----------------------------------------------------------

HelpViewer::HelpViewer(std::unique_ptr<ChmArchive> archive, QWidget* parent)
    : QMainWindow(parent), m_archive(std::move(archive))
{
    ChmSystemInfo system;
    if (const std::optional<QByteArray> record = m_archive->read(QStringLiteral("/#SYSTEM")))
        system = parseChmSystem(*record);
    setWindowTitle(system.title.isEmpty() ? QFileInfo(m_archive->path()).completeBaseName() : system.title);

    if (const QString file = findFile(*m_archive, system.contentsFile, QStringLiteral(".hhc"));
        !file.isEmpty())
        m_contentsEntries = parseSitemap(m_archive->read(file).value_or(QByteArray()));
    if (const QString file = findFile(*m_archive, system.indexFile, QStringLiteral(".hhk")); !file.isEmpty())
        m_indexEntries = parseSitemap(m_archive->read(file).value_or(QByteArray()));

    m_defaultPage = pageOf(system.defaultTopic);
    if (m_defaultPage.isEmpty() || !m_archive->contains(m_defaultPage)) {
        m_defaultPage.clear();
        for (const SitemapEntry& entry : m_contentsEntries)
            if (!entry.local.isEmpty()) {
                m_defaultPage = pageOf(entry.local);
                break;
            }
    }

    m_browser = new HelpBrowser(*m_archive, this);
    m_tabs = new QTabWidget(this);
    m_contents = new QTreeWidget(m_tabs);
    m_contents->setHeaderHidden(true);
    m_contents->setUniformRowHeights(true);
    m_tabs->addTab(m_contents, QStringLiteral("Contents"));
    auto* indexPage = new QWidget(m_tabs);
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(4, 4, 4, 4);
    m_search = new QLineEdit(indexPage);
    m_search->setPlaceholderText(QStringLiteral("Type a keyword"));
    m_search->setClearButtonEnabled(true);
    m_index = new QListWidget(indexPage);
    indexLayout->addWidget(m_search);
    indexLayout->addWidget(m_index);
    m_tabs->addTab(indexPage, QStringLiteral("Index"));

    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_tabs);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({270, 530});
    setCentralWidget(splitter);

    QToolBar* bar = addToolBar(QStringLiteral("Navigation"));
    bar->setMovable(false);
    // Nothing would bring a hidden bar back.
    bar->toggleViewAction()->setVisible(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction* back = bar->addAction(QIcon::fromTheme(QStringLiteral("go-previous")), QStringLiteral("Back"));
    QAction* forward = bar->addAction(QIcon::fromTheme(QStringLiteral("go-next")), QStringLiteral("Forward"));
    QAction* home = bar->addAction(QIcon::fromTheme(QStringLiteral("go-home")), QStringLiteral("Contents"));
    back->setShortcut(QKeySequence::Back);
    forward->setShortcut(QKeySequence::Forward);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(home, &QAction::triggered, this, &HelpViewer::showContents);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpViewer::followCurrentPage);

    buildContents();
    buildIndex();

    // Its size is not kept: the program's settings have no place for it,
    // and a file of the viewer's own would outlive them.
    resize(800, 560);
}

HelpViewer::~HelpViewer() { viewers().removeAll(QPointer<HelpViewer>(this)); }

QString HelpViewer::pageOf(const QString& local)
{
    if (local.isEmpty())
        return {};
    // A local name may be a full address into this file.
    const TopicAddress address = parseTopicAddress(local);
    QString page = local.contains(QLatin1String("::")) ? address.page : local;
    const qsizetype hash = page.indexOf(u'#');
    if (hash >= 0)
        page.truncate(hash);
    if (page.isEmpty())
        return {};
    return page.startsWith(u'/') ? page : u'/' + page;
}

void HelpViewer::buildContents()
{
    std::vector<QTreeWidgetItem*> parents;  // the last item at each level
    for (const SitemapEntry& entry : m_contentsEntries) {
        const size_t level = static_cast<size_t>(entry.level);
        parents.resize(std::min(parents.size(), level));
        QTreeWidgetItem* item
            = parents.empty() ? new QTreeWidgetItem(m_contents) : new QTreeWidgetItem(parents.back());
        item->setText(0, entry.name);
        item->setData(0, Qt::UserRole, entry.local);
        parents.push_back(item);
    }
    m_contents->expandAll();
    connect(m_contents, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { showLocal(item->data(0, Qt::UserRole).toString()); });
}

void HelpViewer::showLocal(const QString& local)
{
    const qsizetype hash = local.indexOf(u'#');
    const QString page = pageOf(local);
    if (!page.isEmpty())
        showPage(page, hash >= 0 ? local.mid(hash + 1) : QString());
}

void HelpViewer::buildIndex()
{
    for (const SitemapEntry& entry : m_indexEntries) {
        auto* item = new QListWidgetItem(QString(entry.level * 4, u' ') + entry.name, m_index);
        item->setData(Qt::UserRole, entry.local);
        item->setData(Qt::UserRole + 1, entry.name);
    }
    connect(m_search, &QLineEdit::textChanged, this, &HelpViewer::searchIndex);
    auto open = [this](QListWidgetItem* item) {
        if (item)
            showLocal(item->data(Qt::UserRole).toString());
    };
    connect(m_index, &QListWidget::itemActivated, this, open);
    connect(m_index, &QListWidget::itemClicked, this, open);
    connect(m_search, &QLineEdit::returnPressed, this, [this, open] { open(m_index->currentItem()); });
}

void HelpViewer::searchIndex(const QString& text)
{
    // The first keyword that begins with the text, as an index is searched.
    const QString wanted = text.trimmed();
    for (int i = 0; i < m_index->count(); ++i) {
        QListWidgetItem* item = m_index->item(i);
        if (item->data(Qt::UserRole + 1).toString().startsWith(wanted, Qt::CaseInsensitive)) {
            m_index->setCurrentItem(item);
            m_index->scrollToItem(item, QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

void HelpViewer::showPage(const QString& page, const QString& anchor)
{
    const QUrl url = HelpBrowser::pageUrl(page, anchor);
    if (m_archive->contains(url.path())) {
        m_browser->setSource(url);
        return;
    }
    m_browser->setHtml(
        QStringLiteral("<p>The page <b>%1</b> is not in this help file.</p>").arg(page.toHtmlEscaped()));
}

void HelpViewer::showContents()
{
    m_tabs->setCurrentIndex(0);
    if (!m_defaultPage.isEmpty())
        showPage(m_defaultPage);
}

QString HelpViewer::currentPage() const { return m_browser->source().path(); }

void HelpViewer::followCurrentPage(const QUrl& url)
{
    // The contents tree marks the topic shown, however it was reached: the
    // item of the page and its anchor, else the first item of the page.
    const QString page = url.path();
    const QString anchor = url.fragment();
    QTreeWidgetItem* found = nullptr;
    for (QTreeWidgetItemIterator it(m_contents); *it; ++it) {
        const QString local = (*it)->data(0, Qt::UserRole).toString();
        if (pageOf(local).compare(page, Qt::CaseInsensitive) != 0)
            continue;
        const qsizetype hash = local.indexOf(u'#');
        const QString itemAnchor = hash >= 0 ? local.mid(hash + 1) : QString();
        if (itemAnchor == anchor) {
            found = *it;
            break;
        }
        if (!found)
            found = *it;
    }
    if (found) {
        const QSignalBlocker block(m_contents);
        m_contents->setCurrentItem(found);
    }
}

}  // namespace platform
