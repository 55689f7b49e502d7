// Reading and rewriting the settings file, as every start and every exit
// (batch runs included) does, for files of 1 MiB and near the 8 MiB limit
// that are mostly blank lines. peak_rss_MB is the process's peak so far:
// run one size at a time (--benchmark_filter) for its own figure.
#include "app/Settings.h"
#include "platform/IniFile.h"
#include "platform/UserRegistry.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

// The values the program writes, then blank lines up to Size bytes.
QByteArray settingsFile(qsizetype Size)
{
    QByteArray bytes = "[Settings]\nRun=7\nSaveSettingsToRegistry=0\nLanguage=0\nOpenAfterSave=1\n"
                       "ShowSeparateWindow=1\nSmallIcons=0\nExpIncludeNumbers=1\nExpDrawBorder=1\n"
                       "ExpGrayScale=0\nExpDBFFieldName=ICON\nExpTargetImageType=0\nExpDBFType=0\n\n"
                       "[Recent]\n0=/usr/lib/a.dll\n\n"
                       "[Placement]\nFindPanelHeight=240\nFilePanelWidth=300\nFindPanelVisible=0\n"
                       "Left=100\nTop=50\nRight=900\nBottom=650\nMaximized=0\n";
    bytes.append(Size - bytes.size(), '\n');
    return bytes;
}

struct Folder {
    QTemporaryDir dir;
    Folder() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config")); }
    QString ini() const { return dir.filePath("gharv.ini"); }
    void write(const QByteArray& bytes) const
    {
        QFile f(ini());
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
    }
};

double peakRssMB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Start-up: the file read and applied.
void BM_ReadSettingsFile(benchmark::State& state)
{
    Folder folder;
    folder.write(settingsFile(state.range(0)));
    platform::UserRegistry registry = ProgramRegistry();
    for (auto _ : state) {
        TWindowSettings window;
        benchmark::DoNotOptimize(ReadINI(folder.ini(), registry, window, {}));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    state.counters["peak_rss_MB"] = peakRssMB();
}

// Exit: the file read again, the program's values written into it, and
// the whole file written back.
void BM_RewriteSettingsFile(benchmark::State& state)
{
    Folder folder;
    const QByteArray bytes = settingsFile(state.range(0));
    TWindowSettings window;
    window.RecentFiles = {QStringLiteral("/usr/lib/b.dll")};
    for (auto _ : state) {
        state.PauseTiming();
        folder.write(bytes);
        state.ResumeTiming();
        WriteINI(folder.ini(), window);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    state.counters["peak_rss_MB"] = peakRssMB();
}

constexpr int64_t kMiB = 1024 * 1024;

}  // namespace

BENCHMARK(BM_ReadSettingsFile)
    ->Arg(kMiB)
    ->Arg(platform::IniFile::kMaxFileSize - 1024)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RewriteSettingsFile)
    ->Arg(kMiB)
    ->Arg(platform::IniFile::kMaxFileSize - 1024)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
