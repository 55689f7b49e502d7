#pragma once
// What a save-all run and its writers both need: the errors a source gives
// and what the run's output may be.

#include "platform/Exceptions.h"

#include <QString>

// The most a save-all run writes for one source file: 64 times the file's
// size, and 64 MB at least. A file of its own counts as one 4 KB block at
// least, the space it takes on disk. Icons that many groups share, or tiny
// groups by the ten thousand, would otherwise turn a small file into
// gigabytes or a folder of 65,535 files.
inline constexpr qint64 kRunOutputFloor = qint64 {64} * 1024 * 1024;
inline constexpr qint64 kRunOutputPerSourceByte = 64;
inline constexpr qint64 kRunOutputFileBlock = 4096;
qint64 RunOutputLimit(qint64 SourceSize);

// A file whose icons cannot be had: it cannot be read, holds no icons, or
// none of them can be read. A run over several files goes on without it.
class TSourceError : public platform::Error {
public:
    using Error::Error;
};

// Throws TSourceError: Source holds no icons.
[[noreturn]] void ThrowNoIcons(const QString& Source);
// The reason an icon that cannot be read is not saved.
QString BrokenIconText(const QString& Source, int Index);
