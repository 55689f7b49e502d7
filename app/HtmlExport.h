#pragma once
// The page of the HTML export: a UTF-8 page with a table that shows the
// pictures of a save-all run, a given number of cells per row. The run
// hands each picture and then its cell here, icon by icon; the page is
// begun at the first cell.
//
// The page and its pictures are written to temporary files and put in place
// together by finish(), so a run that fails leaves the earlier page and all
// of its pictures as they were.
//
// File names are taken as UTF-8 text. Every text that comes from a file name
// is escaped for HTML, and the picture links are percent-encoded, so any
// name gives a valid page whose links lead to the pictures.

#include "platform/FileSet.h"

#include <QByteArrayView>
#include <QString>

class QFile;

class HtmlExport {
public:
    // SrcFileName: the source file whose path the title shows. DestDir: the
    // pictures folder (PicturesFolder of the page). DestExt: the page's
    // extension (see PageFileName).
    // ColumnCount: cells per row; values below 1 count as 1.
    HtmlExport(const QString& SrcFileName, const QString& DestDir, const QString& DestExt, int ColumnCount,
               bool IncludeNumbers, bool DrawBorders);
    ~HtmlExport();  // an unfinished page is discarded with its pictures
    HtmlExport(const HtmlExport&) = delete;
    HtmlExport& operator=(const HtmlExport&) = delete;

    // The page file: DestDir less "_files" (in any case), then DestExt as
    // it is given (".htm" when empty).
    static QString PageFileName(const QString& DestDir, const QString& DestExt);
    // The pictures folder of the page PageFileName: the page without its
    // extension followed by "_files" in the case of that extension
    // (FollowCase), so that pages whose names differ only in the case of
    // their extensions have folders of their own: "Page.html" has
    // "Page_files", "Page.HTML" "Page_FILES". PageFileName of the folder and
    // the page's extension gives the page back.
    static QString PicturesFolder(const QString& PageFileName);

    const QString& pageFileName() const { return m_pageFileName; }

    // The picture PictureFileName (in the pictures folder), put in place
    // with the page. Throws platform::InOutError when it cannot be written;
    // the page is discarded then.
    void addPicture(const QString& PictureFileName, QByteArrayView Bytes);

    // The cell of icon Index (0-based; the page shows Index + 1), after its
    // picture PictureFileName (a path or a bare name in the pictures folder)
    // was written at Width x Height. The first call creates the page and
    // writes its head. Throws platform::InOutError when the page cannot be
    // created or written; the page is discarded then.
    void addCell(int Index, const QString& PictureFileName, int Width, int Height);

    // Fills and closes the last row, ends the page and puts it in place
    // with its pictures. Does nothing when no cell was written (every icon
    // skipped). Throws platform::InOutError on failure; the page and its
    // pictures are discarded then, and the earlier ones stay.
    void finish();

    // True once the page was begun, whether or not it was finished.
    bool pageCreated() const { return m_begun; }
    int cellCount() const { return m_cellCount; }

private:
    void writeHead();
    void write(const QByteArray& bytes);
    // Discards the page and its pictures and throws; format takes the name
    // and the reason.
    [[noreturn]] void fail(const QString& format, const QString& name, const QString& reason);

    QString m_srcFileName;
    QString m_picturesFolder;  // the pictures folder's own name
    QString m_pageFileName;
    int m_columnCount;
    bool m_includeNumbers;
    bool m_drawBorders;
    platform::FileSet m_files;  // the pictures and the page
    QFile* m_file = nullptr;    // the page, in m_files
    bool m_begun = false;
    bool m_failed = false;
    int m_cellCount = 0;
    bool m_rowOpen = false;
};

// Text for HTML content and attribute values: & < > " ' as character
// references; control characters, which no HTML page may hold, become
// U+FFFD.
QString HtmlEscape(const QString& Text);
