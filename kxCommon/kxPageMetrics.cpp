#include "kxCommon/kxPageMetrics.h"

#include "platform/MulDiv.h"

#include <QGuiApplication>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace kxPageMetrics {

TPageMetrics PageMetrics;

namespace {

bool haveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

}  // namespace

TPageMetrics MeasurePageMetrics(int screenPixelsPerInchX, int screenPixelsPerInchY,
                                const std::optional<PrinterPageMetrics>& printer)
{
    TPageMetrics m;
    m.screenPixelsPerInchX = screenPixelsPerInchX;
    m.screenPixelsPerInchY = screenPixelsPerInchY;
    m.screenPixelsPerMmX = screenPixelsPerInchX / 25.4;
    m.screenPixelsPerMmY = screenPixelsPerInchY / 25.4;
    m.pageWidth = int(std::lround(210 * m.screenPixelsPerMmX));
    m.pageHeight = int(std::lround(297 * m.screenPixelsPerMmY));
    m.printer = printer;
    if (printer && printer->pixelsPerInchX > 0 && printer->pixelsPerInchY > 0) {
        m.pageWidth = platform::mulDiv(printer->physicalWidth, screenPixelsPerInchX, printer->pixelsPerInchX);
        m.pageHeight
            = platform::mulDiv(printer->physicalHeight, screenPixelsPerInchY, printer->pixelsPerInchY);
    }
    return m;
}

std::optional<PrinterPageMetrics> DefaultPrinterMetrics()
{
    // A printer object needs the application object.
    if (!haveGuiApplication() || QPrinterInfo::availablePrinters().isEmpty())
        return std::nullopt;
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        info = QPrinterInfo::availablePrinters().value(0);
    if (info.isNull())
        return std::nullopt;
    QPrinter printer(info, QPrinter::HighResolution);
    if (!printer.isValid())
        return std::nullopt;
    const QRect paper = printer.paperRect(QPrinter::DevicePixel).toRect();
    const QRect page = printer.pageRect(QPrinter::DevicePixel).toRect();
    PrinterPageMetrics p;
    p.physicalWidth = paper.width();
    p.physicalHeight = paper.height();
    p.physicalOffsetX = page.left() - paper.left();
    p.physicalOffsetY = page.top() - paper.top();
    p.pixelsPerInchX = printer.logicalDpiX();
    p.pixelsPerInchY = printer.logicalDpiY();
    return p;
}

namespace {

// Set by a start-up that left the printer for later.
bool printerPending = false;

void measureScreen(int& dpiX, int& dpiY)
{
    dpiX = 96;
    dpiY = 96;
    if (haveGuiApplication()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            dpiX = qRound(screen->logicalDotsPerInchX());
            dpiY = qRound(screen->logicalDotsPerInchY());
        }
    }
}

std::optional<PrinterPageMetrics> defaultPrinterOrNone()
{
    try {
        return DefaultPrinterMetrics();
    } catch (...) {
        // No printer error reaches start-up.
        return std::nullopt;
    }
}

}  // namespace

void InitPageMetrics()
{
    int dpiX, dpiY;
    measureScreen(dpiX, dpiY);
    printerPending = false;
    PageMetrics = MeasurePageMetrics(dpiX, dpiY, defaultPrinterOrNone());
}

const TPageMetrics& GetPageMetrics()
{
    if (printerPending) {
        printerPending = false;
        PageMetrics = MeasurePageMetrics(PageMetrics.screenPixelsPerInchX, PageMetrics.screenPixelsPerInchY,
                                         defaultPrinterOrNone());
    }
    return PageMetrics;
}

void Initialize() { InitPageMetrics(); }

void InitializeDeferred()
{
    int dpiX, dpiY;
    measureScreen(dpiX, dpiY);
    PageMetrics = MeasurePageMetrics(dpiX, dpiY, std::nullopt);
    printerPending = true;
}

void Finalize() {}

}  // namespace kxPageMetrics
