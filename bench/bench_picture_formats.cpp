// Encoding icon-sized 32-bit bitmaps as PNG, 200 a batch, as a save-all run
// of a large icon library does.

#include "kxCommon/kxGraphicUtils.h"

#include <benchmark/benchmark.h>

#include <QPainter>

#include <vector>

using platform::Bitmap;
using platform::PixelFormat;

namespace {

std::vector<Bitmap> icons(int size, int count)
{
    std::vector<Bitmap> out;
    for (int i = 0; i < count; ++i) {
        Bitmap bmp(size, size, PixelFormat::Bits32);
        bmp.image().fill(Qt::transparent);
        {
            // Shapes, gradients and transparency, like a drawn icon.
            platform::BitmapPainter p(bmp);
            p.setRenderHint(QPainter::Antialiasing);
            QLinearGradient g(0, 0, size, size);
            g.setColorAt(0, QColor::fromHsv((i * 37) % 360, 200, 240));
            g.setColorAt(1, QColor::fromHsv((i * 37 + 120) % 360, 255, 120));
            p.setBrush(g);
            p.setPen(QPen(Qt::black, size / 32.0));
            p.drawEllipse(QRectF(size * 0.1, size * 0.1, size * 0.8, size * 0.8));
            p.fillRect(QRectF(size * 0.4, size * 0.3, size * 0.2, size * 0.4), QColor(255, 255, 255, 180));
        }
        out.push_back(bmp);
    }
    return out;
}

void EncodePng200(benchmark::State& state)
{
    const std::vector<Bitmap> batch = icons(int(state.range(0)), 200);
    size_t bytes = 0;
    for (auto _ : state) {
        for (const Bitmap& bmp : batch) {
            const QByteArray png = encodeBitmap(bmp, kImageFormatPng);
            bytes += size_t(png.size());
            benchmark::DoNotOptimize(png.data());
        }
    }
    state.counters["icons/s"]
        = benchmark::Counter(200.0 * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes/icon"] = double(bytes) / (200.0 * double(state.iterations()));
}

}  // namespace

BENCHMARK(EncodePng200)->Arg(32)->Arg(256)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
