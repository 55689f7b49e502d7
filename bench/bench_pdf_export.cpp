// The PDF export of a file with 200 icons: the writer's share of an export
// run, with each icon's picture drawn beforehand.
#include "app/PdfExport.h"

#include "platform/Bitmap.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kIcons = 200;

std::vector<platform::Bitmap> pictures()
{
    std::vector<platform::Bitmap> out;
    for (int i = 0; i < kIcons; ++i) {
        platform::Bitmap bmp(32, 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                bmp.image().setPixel(
                    x, y, qRgb((x * 8 + i) & 0xFF, (y * 8 + i * 3) & 0xFF, (x * y + i * 7) & 0xFF));
        out.push_back(bmp);
    }
    return out;
}

void BM_PdfExport(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::vector<platform::Bitmap> icons = pictures();
    const bool numbers = state.range(0) != 0;
    for (auto _ : state) {
        PdfExport pdf(dir.path(), QStringLiteral("icons.pdf"), numbers, numbers);
        pdf.setPixelsPerInch(96);
        pdf.setMenuFont(QFont(QStringLiteral("Helvetica"), 9));
        for (int i = 0; i < kIcons; ++i)
            pdf.addIcon(i, icons[static_cast<size_t>(i)]);
        pdf.finish();
    }
    state.SetItemsProcessed(state.iterations() * kIcons);
}
BENCHMARK(BM_PdfExport)->ArgName("numbers_borders")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
