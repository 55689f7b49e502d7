#pragma once
// The page metrics measured at start-up: the screen's resolution, an A4
// page in screen pixels, and, when a printer is installed, the default
// printer's page in screen pixels.

#include <optional>

namespace kxPageMetrics {

// What the default printer reports of its page, in printer pixels.
struct PrinterPageMetrics {
    int physicalWidth = 0;
    int physicalHeight = 0;
    int physicalOffsetX = 0;
    int physicalOffsetY = 0;
    int pixelsPerInchX = 0;
    int pixelsPerInchY = 0;
};

struct TPageMetrics {
    int screenPixelsPerInchX = 96;
    int screenPixelsPerInchY = 96;
    double screenPixelsPerMmX = 96 / 25.4;
    double screenPixelsPerMmY = 96 / 25.4;
    // The page in screen pixels: A4 (210 x 297 mm), or the printer's page.
    int pageWidth = 0;
    int pageHeight = 0;
    std::optional<PrinterPageMetrics> printer;
};

extern TPageMetrics PageMetrics;

// The metrics for a screen resolution and, optionally, a printer's page.
// A printer that reports no resolution leaves the A4 page in place.
TPageMetrics MeasurePageMetrics(int screenPixelsPerInchX, int screenPixelsPerInchY,
                                const std::optional<PrinterPageMetrics>& printer);

// The default printer's page (the first printer when none is the default);
// nullopt without a printer, without a GUI application, or on any failure.
std::optional<PrinterPageMetrics> DefaultPrinterMetrics();

// Measures the primary screen (96 dpi when no GUI application exists yet)
// and the default printer into PageMetrics. Printer failures are ignored.
void InitPageMetrics();

// PageMetrics, the printer measured first when start-up left it for later.
const TPageMetrics& GetPageMetrics();

// Start-up and exit steps of this unit. InitializeDeferred is the start-up
// without a window: the screen now, the printer at GetPageMetrics().
void Initialize();
void InitializeDeferred();
void Finalize();

}  // namespace kxPageMetrics
