#include "kxCommon/kxPageMetrics.h"

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

bool haveGuiApplication()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const int64_t product = int64_t(number) * numerator;
    const int64_t divisor = std::llabs(denominator);
    const int64_t magnitude = (std::llabs(product) + divisor / 2) / divisor;
    const int64_t result = ((product < 0) != (denominator < 0)) ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return int(result);
}

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
        m.pageWidth = MulDiv(printer->physicalWidth, screenPixelsPerInchX, printer->pixelsPerInchX);
        m.pageHeight =
            MulDiv(printer->physicalHeight, screenPixelsPerInchY, printer->pixelsPerInchY);
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

void InitPageMetrics()
{
    int dpiX = 96;
    int dpiY = 96;
    if (haveGuiApplication()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            dpiX = qRound(screen->logicalDotsPerInchX());
            dpiY = qRound(screen->logicalDotsPerInchY());
        }
    }
    std::optional<PrinterPageMetrics> printer;
    try {
        printer = DefaultPrinterMetrics();
    } catch (...) {
        // No printer error reaches start-up.
    }
    PageMetrics = MeasurePageMetrics(dpiX, dpiY, printer);
}

void Initialize()
{
    InitPageMetrics();
}

void Finalize()
{
}

}  // namespace kxPageMetrics
