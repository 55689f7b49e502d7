#pragma once
// Damaged copies of a compiled help file, each with one fault in a structure
// that the help reader relies on: the headers, the directory, the LZX
// control data, the reset table, or the file cut short.

#include <QByteArray>

#include <vector>

struct DamagedChm {
    const char* fault;
    QByteArray bytes;
};

// Empty when `chm` lacks one of the structures (then no copy can be made).
std::vector<DamagedChm> damagedCopies(const QByteArray& chm);
