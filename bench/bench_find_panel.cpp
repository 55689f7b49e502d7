// The folder search through the main window's find panel (list filled,
// progress shown, the visible rows drawn with their icons) against the
// bare search, over a generated tree of 10,000 files.
#include "app/Unit1.h"
#include "kxCommon/kxFileUtils.h"
#include "kxCommon/kxFolderTree.h"

#include "PeBuilder.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct Tree {
    // Beside the program rather than in the busy temporary folder, which
    // the folder tree would watch on the way down.
    QTemporaryDir dir {QCoreApplication::applicationDirPath() + QStringLiteral("/bench-XXXXXX")};
    int files = 0;

    Tree()
    {
        const fixture::IcoImage image = fixture::dibImage(32, 32, 8, 1);
        std::vector<fixture::ByteVec> modules;
        for (int groups = 0; groups <= 20; ++groups) {
            std::vector<fixture::PeRes> res;
            for (int g = 0; g < groups; ++g) {
                res.push_back({3, {}, static_cast<uint16_t>(g + 1), {}, 0x409, image.data});
                res.push_back({14,
                               {},
                               static_cast<uint16_t>(g + 1),
                               {},
                               0x409,
                               fixture::groupResource({image}, {static_cast<uint16_t>(g + 1)})});
            }
            fixture::ByteVec bytes = fixture::buildPe(res).bytes;
            bytes.resize(bytes.size() + 32 * 1024, 0x90);
            modules.push_back(std::move(bytes));
        }
        const char* exts[] = {".dll", ".exe", ".ocx", ".txt", ".png", ".dat"};
        for (int folder = 0; folder < 100; ++folder) {
            const QString sub = dir.filePath(QString("d%1/s%2").arg(folder % 10).arg(folder));
            QDir().mkpath(sub);
            for (int i = 0; i < 100; ++i, ++files) {
                const char* ext = exts[i % 6];
                const QString path = sub + QString("/f%1%2").arg(i).arg(ext);
                if (i % 6 < 3)
                    fixture::writeFile(path.toStdString(), modules[static_cast<size_t>(i % 21)]);
                else
                    fixture::writeFile(path.toStdString(), fixture::ByteVec(2048, 'x'));
            }
        }
    }
};

Tree& tree()
{
    static Tree t;
    return t;
}

void BM_BareSearch(benchmark::State& state)
{
    QStringList list;
    TStringListStrings strings(list);
    OnFileFound = nullptr;
    for (auto _ : state) {
        FindIconFiles(tree().dir.path(), tree().dir.path(), "*.dll;*.exe;*.ocx", 1, true, false, strings);
        benchmark::DoNotOptimize(list.size());
    }
    state.counters["found"] = static_cast<double>(list.size());
}
BENCHMARK(BM_BareSearch)->Unit(benchmark::kMillisecond);

void BM_PanelSearch(benchmark::State& state)
{
    QTemporaryDir program;
    TForm1 form({QStringLiteral("-")}, program.filePath("pictorium"));
    form.resize(1000, 700);
    form.show();
    form.SearchBtnClick(nullptr);
    form.ChkSubFolders->setChecked(true);
    OnFileFound
        = [&form](QObject* sender, int32_t index, int32_t count, const QString& name, const QString& info,
                  bool& cancel) { form.SearchProgress(sender, index, count, name, info, cancel); };
    form.Tree->SetFolder(tree().dir.path());
    while (form.Tree->Folder() != tree().dir.path())
        QCoreApplication::processEvents();
    QImage rows(form.FileBox->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        form.DirBoxChange(nullptr);
        form.FileBox->viewport()->render(&rows);
        benchmark::DoNotOptimize(rows.constBits());
    }
    state.counters["found"] = form.FileBox->count();
    OnFileFound = nullptr;
}
BENCHMARK(BM_PanelSearch)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
