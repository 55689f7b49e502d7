#pragma once
// Text helpers of the PDF writer: hexadecimal digits and line splitting.

#include <QString>
#include <QStringList>

#include <cstdint>

// Four upper-case hexadecimal digits, zero-padded.
QString WordToHex(uint16_t Value);

// Appends the lines of S to Lines, each at most MaxLen characters long.
// Without WordWrap S becomes one line, cut to MaxLen. With it, lines end at
// CR LF, CR or LF and are wrapped at blanks; a word longer than MaxLen is
// cut hard. Trailing blanks and control characters of S and of every line
// are dropped. Lines already in the list are left alone.
void SplitTextToLines(const QString& S, int MaxLen, bool WordWrap, QStringList& Lines);
