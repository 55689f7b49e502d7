#pragma once
// Formatting steps shared by the parts of the PDF writer.

#include <QByteArray>
#include <QString>

namespace kxpdf {

// "%.2f" with "." whatever the locale; halves go away from zero, a negative
// zero prints as 0.00, and a value that is no number as 0.00.
QByteArray FormatFixed2(double v);

// Hundredths, halves up, in the shortest form: 0, 1, 0.5, 0.75.
QByteArray FormatPDFNumber(double v);

// Text in the ANSI code page (Windows-1252).
QByteArray AnsiText(const QString& s);

// A PDF name (without the slash): every byte that is a delimiter, "#", or
// outside "!".."~" is written as "#" and two hex digits.
QByteArray PdfName(const QString& s);

}  // namespace kxpdf
