#pragma once
// The help viewer that stands in for the platform's HTML Help control: one
// window per help file with its contents tree, its index and the page,
// everything read from the compiled help file through libchm.

#include "platform/ChmArchive.h"
#include "platform/HelpSitemap.h"

#include <QMainWindow>
#include <QTextBrowser>

#include <cstdint>
#include <memory>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace platform {

// The commands of the entry below.
enum HelpCommand : unsigned {
    DisplayTopic = 0,     // data unused; file is a topic address "file::/page.htm#anchor"
    DisplayContents = 1,  // file is the help file
    CloseAll = 18,        // file unused
};

// The viewer's entry: opens or raises the viewer of the file on the topic
// or on its contents, or closes every viewer. The viewer window, or nullptr
// when nothing was shown (a file that cannot be read, an unknown command).
// libchm must have been bound (bindChmLibrary) for any file to open.
QWidget* HtmlHelpW(QWidget* caller, const char16_t* file, unsigned command, intptr_t data);
using HtmlHelpProc = QWidget* (*)(QWidget* caller, const char16_t* file, unsigned command, intptr_t data);

// Binds libchm from `library` and gives the viewer's entry, or nullptr when
// the library lacks one of libchm's functions.
HtmlHelpProc htmlHelpEntry(LibraryHandle library);

// Pages whose links, pictures and style sheets resolve inside the archive
// (addresses "chm:/page.htm"); other links open with the desktop.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    HelpBrowser(const ChmArchive& archive, QWidget* parent = nullptr);
    QVariant loadResource(int type, const QUrl& name) override;
    static QUrl pageUrl(const QString& page, const QString& anchor = {});

private:
    void followLink(const QUrl& link);
    const ChmArchive& m_archive;
};

class HelpViewer : public QMainWindow {
    Q_OBJECT
public:
    explicit HelpViewer(std::unique_ptr<ChmArchive> archive, QWidget* parent = nullptr);
    ~HelpViewer() override;

    const ChmArchive& archive() const { return *m_archive; }
    // The page shown first on the contents (the archive's default topic).
    QString defaultPage() const { return m_defaultPage; }
    // Shows a page ("/export.htm") and scrolls to the anchor.
    void showPage(const QString& page, const QString& anchor = {});
    void showContents();
    // The page shown now, "/export.htm", without anchor.
    QString currentPage() const;

    QTreeWidget* contentsTree() const { return m_contents; }
    QListWidget* indexList() const { return m_index; }
    QLineEdit* indexSearch() const { return m_search; }
    HelpBrowser* browser() const { return m_browser; }
    QTabWidget* tabs() const { return m_tabs; }
    const std::vector<SitemapEntry>& contentsEntries() const { return m_contentsEntries; }
    const std::vector<SitemapEntry>& indexEntries() const { return m_indexEntries; }

private:
    void buildContents();
    void buildIndex();
    void searchIndex(const QString& text);
    void followCurrentPage(const QUrl& url);
    void showLocal(const QString& local);
    static QString pageOf(const QString& local);

    std::unique_ptr<ChmArchive> m_archive;
    std::vector<SitemapEntry> m_contentsEntries;
    std::vector<SitemapEntry> m_indexEntries;
    QString m_defaultPage;
    QTabWidget* m_tabs = nullptr;
    QTreeWidget* m_contents = nullptr;
    QLineEdit* m_search = nullptr;
    QListWidget* m_index = nullptr;
    HelpBrowser* m_browser = nullptr;
};

// The viewers open now, for the entry and for tests.
QList<HelpViewer*> helpViewers();

}  // namespace platform
