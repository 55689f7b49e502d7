#pragma once
// Version comparison and 64-bit number helpers.

#include <QString>

#include <cstdint>

// Compares the leading dot-separated parts of V1 and V2 as integers: 1 when
// V1's is greater, -1 when smaller, 0 when equal, either is empty or either
// is not a number. Removes the part and its dot from both.
int CompareVersionPart(QString& V1, QString& V2);

// 1 when V1 is the higher dotted version, -1 when the lower, else 0. The
// comparison stops when the parts of V1 run out.
int CompareVersions(const QString& V1, const QString& V2);

int64_t Max64(int64_t A, int64_t B);
int64_t Min64(int64_t A, int64_t B);
