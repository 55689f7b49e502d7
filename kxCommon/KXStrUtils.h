#pragma once
// Text helpers: hexadecimal digits, line splitting and trimming.

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

// S without the blanks and control characters (codes up to 32) at its ends.
QString TrimBlanksAndControls(QStringView S);
