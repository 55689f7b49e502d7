#pragma once
// Advance widths of the standard PDF text fonts, in 1/1000 of the font size,
// so that text is measured with the font a reader actually draws.

#include <QStringView>

#include <cstddef>
#include <cstdint>

struct PdfGlyphWidth {
    char16_t code;   // UTF-16 code of the character
    uint16_t width;  // advance width, 1/1000 em
};

struct PdfFontMetrics {
    const char* name;             // standard name, as "Helvetica-Bold"
    const PdfGlyphWidth* widths;  // sorted by code
    std::size_t count;
};

// The metrics of a standard font name; nullptr for any other name.
const PdfFontMetrics* FindPdfFontMetrics(QStringView PDFName);

// The width of one character, or -1 when the font has no glyph for it.
int PdfFontGlyphWidth(const PdfFontMetrics& Font, char16_t Code);
