#include "kxCommon/kxPageMetrics.h"
#include "platform/MulDiv.h"

#include "TestApplication.h"

#include <QGuiApplication>
#include <QPrinterInfo>
#include <QScreen>

#include <gtest/gtest.h>

#include <climits>

using namespace kxPageMetrics;

TEST(MulDiv, RoundsHalfAwayFromZeroAndFlagsFailures)
{
    struct Case {
        int number, numerator, denominator, expected;
    };
    const Case cases[] = {
        {5100, 96, 600, 816},     {6600, 96, 600, 1056}, {1, 1, 2, 1},   {3, 1, 2, 2},
        {-1, 1, 2, -1},           {-5, 3, -2, 8},        {5, -3, 2, -8}, {1, 1, 3, 0},
        {INT_MAX, 2, 2, INT_MAX}, {INT_MAX, 2, 1, -1},   {7, 5, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::mulDiv(c.number, c.numerator, c.denominator), c.expected)
            << c.number << " " << c.numerator << " " << c.denominator;
}

TEST(MeasurePageMetrics, A4OnTheScreenOrThePrintersPage)
{
    const PrinterPageMetrics letter600 {5100, 6600, 100, 100, 600, 600};
    const PrinterPageMetrics letter600x300 {5100, 3300, 0, 0, 600, 300};
    const PrinterPageMetrics noResolution {5100, 6600, 0, 0, 0, 0};
    struct Case {
        int dpiX, dpiY;
        std::optional<PrinterPageMetrics> printer;
        int width, height;
    };
    const Case cases[] = {
        {96, 96, std::nullopt, 794, 1123},  {120, 120, std::nullopt, 992, 1403},
        {96, 120, std::nullopt, 794, 1403}, {96, 96, letter600, 816, 1056},
        {96, 96, letter600x300, 816, 1056}, {144, 144, letter600, 1224, 1584},
        {96, 96, noResolution, 794, 1123},
    };
    for (const Case& c : cases) {
        const TPageMetrics m = MeasurePageMetrics(c.dpiX, c.dpiY, c.printer);
        EXPECT_EQ(m.pageWidth, c.width) << c.dpiX << " " << c.printer.has_value();
        EXPECT_EQ(m.pageHeight, c.height) << c.dpiY << " " << c.printer.has_value();
        EXPECT_DOUBLE_EQ(m.screenPixelsPerMmX, c.dpiX / 25.4);
    }
}

TEST(InitPageMetrics, WithoutAnApplicationAssumes96DpiAndNoPrinter)
{
    if (QCoreApplication::instance())
        GTEST_SKIP() << "an application object already exists";
    EXPECT_NO_THROW(InitPageMetrics());
    EXPECT_EQ(PageMetrics.screenPixelsPerInchX, 96);
    EXPECT_EQ(PageMetrics.pageWidth, 794);
    EXPECT_EQ(PageMetrics.pageHeight, 1123);
    EXPECT_FALSE(PageMetrics.printer);
}

TEST(InitPageMetrics, MeasuresTheScreenAndGoesOnWithoutAPrinter)
{
    TestApplication();
    ASSERT_TRUE(QGuiApplication::primaryScreen());

    EXPECT_NO_THROW(Initialize());
    EXPECT_EQ(PageMetrics.screenPixelsPerInchX,
              qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchX()));
    EXPECT_EQ(PageMetrics.printer.has_value(), !QPrinterInfo::availablePrinters().isEmpty());
    if (!PageMetrics.printer) {
        EXPECT_EQ(PageMetrics.pageWidth, qRound(210 * PageMetrics.screenPixelsPerInchX / 25.4));
    }
    Finalize();
}

// A start-up without a window leaves the printer to the first reader, who
// then gets what the full start-up would have measured.
TEST(InitPageMetrics, DeferredStartUpMeasuresThePrinterAtFirstUse)
{
    TestApplication();
    Initialize();
    const TPageMetrics full = PageMetrics;
    PageMetrics = TPageMetrics();
    InitializeDeferred();
    EXPECT_FALSE(PageMetrics.printer);
    EXPECT_EQ(PageMetrics.screenPixelsPerInchX, full.screenPixelsPerInchX);
    const TPageMetrics& later = GetPageMetrics();
    EXPECT_EQ(&later, &PageMetrics);
    EXPECT_EQ(later.printer.has_value(), full.printer.has_value());
    EXPECT_EQ(later.pageWidth, full.pageWidth);
    EXPECT_EQ(later.pageHeight, full.pageHeight);
    Finalize();
}
