// The HTML and dBASE exports of a file with 200 icons: the writers' share
// of an export run, with each icon's bytes made beforehand.
#include "app/DbaseExport.h"
#include "app/HtmlExport.h"

#include "platform/FileSystem.h"

#include "IcoBuilder.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kIcons = 200;

QByteArray icoBytes()
{
    const fixture::ByteVec ico = fixture::icoFile({fixture::dibImage(32, 32, 32, 7)});
    return QByteArray(reinterpret_cast<const char*>(ico.data()), static_cast<qsizetype>(ico.size()));
}

QByteArray pngBytes()
{
    const fixture::IcoImage png = fixture::pngImage(32, 32, 7);
    return QByteArray(reinterpret_cast<const char*>(png.data.data()),
                      static_cast<qsizetype>(png.data.size()));
}

// The page and one picture per icon, the pictures written as a run writes
// them (each replaced whole).
void BM_HtmlExport(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("icons_files"));
    QDir().mkdir(folder);
    const QByteArray picture = pngBytes();
    const bool writePictures = state.range(0) != 0;
    for (auto _ : state) {
        HtmlExport page(QStringLiteral("/src/library.dll"), folder, QStringLiteral(".htm"), 8, true, true);
        for (int i = 0; i < kIcons; ++i) {
            const QString name
                = folder + QStringLiteral("/ico_library_dll%1.png").arg(i + 1, 4, 10, QLatin1Char('0'));
            if (writePictures)
                platform::writeFileAtomically(name, picture);
            page.addCell(i, name, 32, 32);
        }
        page.finish();
    }
    state.SetItemsProcessed(state.iterations() * kIcons);
}
BENCHMARK(BM_HtmlExport)->ArgName("pictures")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_DbaseExport(benchmark::State& state)
{
    QTemporaryDir dir;
    const QByteArray data = state.range(0) == 0 ? icoBytes() : pngBytes();
    for (auto _ : state) {
        DbaseExport table(dir.path(), QStringLiteral("icons.dbf"), QStringLiteral(".dbf"), QString());
        for (int i = 0; i < kIcons; ++i)
            table.addIcon(i, data);
        table.finish();
    }
    state.SetItemsProcessed(state.iterations() * kIcons);
    state.SetBytesProcessed(state.iterations() * kIcons * data.size());
}
BENCHMARK(BM_DbaseExport)->ArgName("png")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
