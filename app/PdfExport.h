#pragma once
// The document of the PDF export: every icon of a file in a grid of cells
// on US Letter pages, optionally bordered and numbered. A save-all run
// draws each icon's picture and hands it here, icon by icon; the pictures
// go into the document at once, and finish() lays out the cells and ends it.
//
// The grid is sized once, from the first picture: a cell is the picture at
// the screen's resolution in points, plus a frame and a line for the number.
// Rows go on until a page is full and then continue at the top of the next
// page. The document is written to a temporary file beside its destination
// and renamed over it only when complete, so a run that fails leaves no
// partial document.

#include "kxCommon/kxPDF.h"
#include "platform/Bitmap.h"

#include <QFont>
#include <QString>

#include <memory>

class QFile;
namespace platform {
class FileSet;
}

class PdfExport {
public:
    using Clock = TkxPDFDocument::Clock;

    // The page, in points.
    static constexpr int kPageWidth = 612;
    static constexpr int kPageHeight = 792;
    static constexpr int kMargin = 8;

    // The grid for pictures of one size.
    struct Layout {
        int W = 0, H = 0;  // the picture in points
        int b = 0;         // 1 with borders
        int t = 0;         // the number line: font size + 2 with numbers
        int FontSize = 0;
        int ColumnStep = 0;   // W + 2 + 2b
        int Columns = 1;      // cells per row, at least 1
        int RowHeight = 0;    // t + H + 2 + 2b
        int RowsPerPage = 1;  // at least 1
        int CellsPerPage() const { return Columns * RowsPerPage; }
    };

    // Where image i (its position in the document) goes. Vertical values
    // are PDF coordinates (from the page's bottom) except Y, the distance of
    // the cell's top from the page's top edge.
    struct Cell {
        int Page = 0;
        int X = 0, Y = 0;
        // The border rectangle: left, bottom, width, height.
        int FrameLeft = 0, FrameBottom = 0, FrameWidth = 0, FrameHeight = 0;
        // The image box: left, bottom, width, height.
        int ImageLeft = 0, ImageBottom = 0, ImageWidth = 0, ImageHeight = 0;
        // The number's box: its line is centred between Left and Right on
        // the baseline Top.
        int NumberLeft = 0, NumberRight = 0, NumberTop = 0;
    };

    // DestDir: the folder of the document; DestFileName: the document as the
    // user named it (only its name part is used, joined to DestDir).
    // The screen resolution and the menu font are the application's when a
    // QGuiApplication runs (96 dpi and Helvetica at 9 points otherwise).
    PdfExport(const QString& DestDir, const QString& DestFileName, bool IncludeNumbers, bool DrawBorders);
    ~PdfExport();  // an unfinished document is discarded
    PdfExport(const PdfExport&) = delete;
    PdfExport& operator=(const PdfExport&) = delete;

    static QString DocumentFileName(const QString& DestDir, const QString& DestFileName);
    const QString& documentFileName() const { return m_fileName; }

    // Settings that count from the first icon on: the screen's pixels per
    // inch (values below 1 count as 96), the menu font, and the local time
    // stamped into the document.
    void setPixelsPerInch(int PixelsPerInch);
    void setMenuFont(const QFont& Font);
    void setClock(Clock clock) { m_clock = std::move(clock); }
    int pixelsPerInch() const { return m_pixelsPerInch; }
    const QFont& menuFont() const { return m_menuFont; }
    // The menu font's size in whole points.
    int menuFontSize() const;

    // The picture of icon Index (0-based; the document shows Index + 1),
    // drawn by the caller at the icon size, grey when asked. The first call
    // creates the document. Indices rise from call to call. Throws
    // platform::InOutError when the document cannot be created or written,
    // platform::Error for a picture the document cannot take; after an
    // error the document is discarded and every later call throws.
    void addIcon(int Index, const platform::Bitmap& Picture);

    // Lays out the page(s), ends the document and puts it in place. Does
    // nothing when no icon was added. Throws as addIcon does.
    void finish();

    // True once the document was begun, whether or not it was finished.
    bool documentCreated() const { return m_begun; }
    int iconCount() const { return m_iconCount; }
    // The bytes the document holds so far.
    qint64 bytesWritten() const;

    // The grid arithmetic.
    // Pixels to points, rounded to the nearest whole number, halves to even.
    static int PixelsToPoints(int Pixels, int PixelsPerInch);
    static Layout CellLayout(int PictureWidth, int PictureHeight, int PixelsPerInch, int FontSize,
                             bool IncludeNumbers, bool DrawBorders);
    static Cell CellOf(const Layout& L, int i);

private:
    void create();
    void layOut();
    void writeNumber(const Cell& c, int Number);
    void discard();
    [[noreturn]] void fail(const QString& format, const QString& why = {});

    QString m_fileName;
    bool m_includeNumbers;
    bool m_drawBorders;
    int m_pixelsPerInch;
    QFont m_menuFont;
    Clock m_clock;
    std::unique_ptr<platform::FileSet> m_files;
    QFile* m_file = nullptr;  // the document's temporary file, in m_files
    std::unique_ptr<TkxPDFDocument> m_doc;
    QString m_fontName;
    int m_fontSize = 0;
    bool m_begun = false;
    bool m_failed = false;
    bool m_finished = false;
    int m_iconCount = 0;
    int m_lastIndex = -1;
};
