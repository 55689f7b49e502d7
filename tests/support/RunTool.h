#pragma once
// Runs a real reader of our output (qpdf, pngcheck, icotool, file, ...)
// and gives its exit code and what it printed, both channels together.

#include "HangGuard.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace fixture {

struct ToolResult {
    int exitCode = -1;  // -1 when it did not start, crashed or hung
    QString output;
};

inline ToolResult runTool(const QString& program, const QStringList& args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(kHangGuard))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

// The output alone, the exit code where asked for.
inline QString run(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    const ToolResult result = runTool(program, args);
    if (exitCode)
        *exitCode = result.exitCode;
    return result.output;
}

}  // namespace fixture
