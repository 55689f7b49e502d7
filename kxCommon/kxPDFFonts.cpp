// Fonts and character maps, text boxes and watermarks of the PDF writer.

#include "kxCommon/kxPDF.h"

#include "kxCommon/KXStrUtils.h"

#include "kxCommon/kxPDFMetrics.h"
#include "kxCommon/kxPDFPrivate.h"
#include "platform/CodePage1252.h"

#include <QBuffer>
#include <QLocale>

#include <algorithm>
#include <climits>
#include <cmath>

using namespace kxpdf;

namespace {

QString asciiLower(const QString& s)
{
    QString out = s;
    for (QChar& c : out)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    return out;
}

// Width of one character in 1/1000 of the font size: the standard font's
// glyph, nothing for control codes, and half an em and a bit for a
// character the font lacks (what /MissingWidth says too).
int charWidth(const PdfFontMetrics* m, char16_t c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return 0;
    const int w = m ? PdfFontGlyphWidth(*m, c) : -1;
    return w >= 0 ? w : 600;
}

// Halves to the even neighbour, clamped into the integer range.
int64_t roundEven(double v)
{
    if (!std::isfinite(v))
        return 0;
    v = std::clamp(v, -9e15, 9e15);
    return static_cast<int64_t>(std::nearbyint(v));
}

int clampInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

bool readsAsNumber(const QString& text)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = locale.toDouble(text, &ok);
    return ok && std::isfinite(v);
}

}  // namespace

// ------------------------------------------------------------------ fonts

QString TkxPDFDocument::PDFFontName(const QFont& Font)
{
    const QString n = asciiLower(Font.family());
    const bool bold = Font.bold();
    const bool italic = Font.italic();
    if (n == QLatin1String("courier") || n.startsWith(QLatin1String("courier ")))
        return italic ? (bold ? QStringLiteral("Courier-BoldOblique") : QStringLiteral("Courier-Oblique"))
                      : (bold ? QStringLiteral("Courier-Bold") : QStringLiteral("Courier"));
    if (n == QLatin1String("times new roman"))
        return italic ? (bold ? QStringLiteral("Times-BoldItalic") : QStringLiteral("Times-Italic"))
                      : (bold ? QStringLiteral("Times-Bold") : QStringLiteral("Times-Roman"));
    return italic ? (bold ? QStringLiteral("Helvetica-BoldOblique") : QStringLiteral("Helvetica-Oblique"))
                  : (bold ? QStringLiteral("Helvetica-Bold") : QStringLiteral("Helvetica"));
}

QString TkxPDFDocument::CheckAddFont(const QFont& F)
{
    const QString P = PDFFontName(F);
    for (const TPDFFont& font : FFonts)
        if (font.PDFName == P && font.Name == F.family())
            return font.InternalName;
    AddFont(F.family(), P, QStringLiteral("F%1").arg(FFonts.size()), F.bold(), F.italic());
    return FFonts.back().InternalName;
}

void TkxPDFDocument::AddFont(const QString& AName, const QString& APDFName, const QString& AInternalName,
                             bool ABold, bool AItalic)
{
    // Each font reserves a number below the images and pages.
    Require(FState == State::Created
                || (FState == State::HeaderWritten && FXObjects.empty() && FPages.empty()),
            "AddFont");
    TPDFFont font;
    font.Name = AName;
    font.PDFName = APDFName;
    font.InternalName = AInternalName;
    font.Bold = ABold;
    font.Italic = AItalic;
    FFonts.push_back(std::move(font));
    ++FReservedObjectNumbersCount;
}

QString TkxPDFDocument::PDFFontInternalName(const QFont& F) const
{
    const QString P = PDFFontName(F);
    for (const TPDFFont& font : FFonts)
        if (font.PDFName == P && font.Bold == F.bold() && font.Italic == F.italic())
            return font.InternalName;
    return QStringLiteral("F0");
}

int TkxPDFDocument::FontIndexByInternalName(const QString& Name) const
{
    for (size_t i = 0; i < FFonts.size(); ++i)
        if (FFonts[i].InternalName == Name)
            return static_cast<int>(i);
    return -1;
}

int TkxPDFDocument::CMapCharIndex(char16_t c, TPDFFont& F)
{
    if (!F.CMap) {
        F.CMap.emplace();
        F.CWidths.emplace();
    }
    const auto found = F.CMapIndex.constFind(c);
    if (found != F.CMapIndex.constEnd())
        return found.value() + 1;
    if (F.CMap->size() >= 65535)
        throw platform::Error(
            QStringLiteral("PDF document: more than 65535 characters in font %1").arg(F.Name));
    F.CMapIndex.insert(c, static_cast<int>(F.CMap->size()));
    F.CMap->append(WordToHex(c));
    F.CWidths->append(QString::number(charWidth(FindPdfFontMetrics(F.PDFName), c)));
    return static_cast<int>(F.CMap->size());
}

QByteArray TkxPDFDocument::ToUnicode(const QString& s, TPDFFont& F)
{
    QByteArray out;
    out.reserve(s.size() * 4);
    for (const QChar c : s)
        out += WordToHex(static_cast<uint16_t>(CMapCharIndex(c.unicode(), F))).toLatin1();
    return out;
}

void TkxPDFDocument::WriteToUnicodeCMap(int ObjectNo, const TPDFFont& F)
{
    const QByteArray N = PdfName(F.Name);
    BeginObject(ObjectNo);
    WriteDocLine("<<");
    BeginStreamBody();
    for (const char* line :
         {"/CIDInit /ProcSet findresource begin", "12 dict begin", "begincmap", "/CIDSystemInfo",
          "<< /Registry (Adobe)", "/Ordering (UCS)", "/Supplement 0", ">> def"})
        StreamLine(line);
    StreamLine("/CMapName /" + N + " def");
    for (const char* line :
         {"/CMapType 2 def", "1 begincodespacerange", "<0000> <FFFF>", "endcodespacerange"})
        StreamLine(line);
    const QStringList codes = F.CMap.value_or(QStringList());
    for (qsizetype start = 0; start < codes.size(); start += 99) {
        const qsizetype n = std::min<qsizetype>(codes.size() - start, 99);
        StreamLine(QByteArray::number(n) + " beginbfchar");
        for (qsizetype k = start; k < start + n; ++k)
            StreamLine("<" + WordToHex(static_cast<uint16_t>(k + 1)).toLatin1() + "> <" + codes[k].toLatin1()
                       + ">");
        StreamLine("endbfchar");
    }
    for (const char* line : {"endcmap", "CMapName currentdict /CMap defineresource pop", "end", "end"})
        StreamLine(line);
    WriteStreamBody(false, false, true);
    EndStreamBody();
    EndObject();
}

void TkxPDFDocument::WriteFonts()
{
    if (!FUnicode) {
        for (size_t i = 0; i < FFonts.size(); ++i) {
            BeginObject(FFontStartingObjectNo + static_cast<int>(i));
            WriteDocLine("<< /Type /Font");
            WriteDocLine("/Subtype /Type1");
            WriteDocLine("/BaseFont /" + PdfName(FFonts[i].PDFName));
            WriteDocLine("/Encoding /WinAnsiEncoding");
            WriteDocLine(">>");
            EndObject();
        }
        return;
    }
    auto number = [](int64_t v) { return QByteArray::number(static_cast<qlonglong>(v)); };
    // The page tree is written and still counted among the reserved numbers.
    const int S = static_cast<int>(FObjects.size()) + FReservedObjectNumbersCount;
    BeginObject(S);
    WriteDocLine("<< /Registry (Adobe)");
    WriteDocLine("/Ordering (Identity)");
    WriteDocLine("/Supplement 0");
    WriteDocLine(">>");
    EndObject();
    for (size_t i = 0; i < FFonts.size(); ++i) {
        const TPDFFont& font = FFonts[i];
        const QByteArray N = PdfName(font.Name);
        // Each font written so far is counted twice: as written and as reserved.
        const int d = static_cast<int>(FObjects.size()) + FReservedObjectNumbersCount - static_cast<int>(i);
        BeginObject(d);
        WriteDocLine("<< /Type /FontDescriptor");
        WriteDocLine("/FontName /" + N);
        WriteDocLine("/FontFamily /" + N);
        for (const char* line : {"/Flags 32", "/FontBBox [-122 -680 623 1021 ]", "/ItalicAngle 0",
                                 "/Ascent 613", "/Descent -188", "/Leading 117", "/CapHeight 1133",
                                 "/StemV 88", "/AvgWidth 600", "/MxWidth 744", "/MissingWidth 600", ">>"})
            WriteDocLine(line);
        EndObject();
        // A font that drew nothing still gets its (empty) map, so that the
        // numbers run without gaps and its reference resolves.
        WriteToUnicodeCMap(d + 1, font);
        BeginObject(d + 2);
        WriteDocLine("<< /Type /Font");
        WriteDocLine("/Subtype /CIDFontType2");
        WriteDocLine("/BaseFont /" + N);
        WriteDocLine("/CIDSystemInfo " + number(S) + " 0 R");
        WriteDocLine("/FontDescriptor " + number(d) + " 0 R");
        // Identifiers run from 1 in order of first use: one run of widths.
        const QStringList widths = font.CWidths.value_or(QStringList());
        WriteDocLine(widths.isEmpty() ? QByteArray("/W []")
                                      : "/W [1 [" + widths.join(QLatin1Char(' ')).toLatin1() + "]]");
        WriteDocLine(">>");
        EndObject();
        BeginObject(FFontStartingObjectNo + static_cast<int>(i));
        WriteDocLine("<< /Type /Font");
        WriteDocLine("/Subtype /Type0");
        WriteDocLine("/BaseFont /" + N);
        WriteDocLine("/Encoding /Identity-H");
        WriteDocLine("/DescendantFonts [" + number(d + 2) + " 0 R]");
        WriteDocLine("/ToUnicode " + number(d + 1) + " 0 R");
        WriteDocLine(">>");
        EndObject();
    }
}

// ------------------------------------------------------------------- text

float TkxPDFDocument::PDFTextLenCoef(const QString& FontName, bool Bold, bool Italic)
{
    const QString n = FontName.toLower();
    auto divided = [](float v, double by) { return static_cast<float>(static_cast<double>(v) / by); };
    if (n.startsWith(QLatin1String("courier")))
        return 1.5f;
    if (n.startsWith(QLatin1String("times"))) {
        const float r = 2.32f;
        if (Bold && Italic)
            return divided(r, 1.04);
        if (Bold)
            return divided(r, 1.06);
        if (Italic)
            return divided(r, 1.01);
        return r;
    }
    return Bold ? divided(2.14f, 1.09) : 2.14f;
}

QByteArray TkxPDFDocument::EscapeText(const QByteArray& s)
{
    QByteArray out = s;
    out.replace("\\", "\\\\");
    out.replace("(", "\\(");
    out.replace(")", "\\)");
    out.replace("\t", "\\t");
    return out;
}

void TkxPDFDocument::WriteTextBox(const QString& Text, bool CalcOnly, const QString& PDFFontInternalName,
                                  int FontSize, platform::Color FontColor, Qt::Alignment AAlignment,
                                  bool AWordWrap, QRect& R, TStringArray& RemainingText)
{
    const int fontIndex = FontIndexByInternalName(PDFFontInternalName);
    if (fontIndex < 0)
        throw platform::Error(QStringLiteral("PDF document: there is no font %1").arg(PDFFontInternalName));
    if (FontSize < 1)
        throw platform::Error(QStringLiteral("PDF document: invalid font size %1").arg(FontSize));
    if (!CalcOnly)
        RequirePage("WriteTextBox");
    TPDFFont& F = FFonts[static_cast<size_t>(fontIndex)];

    float coef = PDFTextLenCoef(F.PDFName, F.Bold, F.Italic);
    if (F.PDFName != QLatin1String("Courier") && Text == Text.toUpper() && !readsAsNumber(Text))
        coef = static_cast<float>(static_cast<double>(coef) / 1.1);
    const int64_t left = R.left(), right = R.right(), top = R.top();
    const int64_t lineStep = int64_t(FontSize) + 1;
    // A box too narrow for one estimated character still gets one per line,
    // so that the split ends.
    const int chars = static_cast<int>(std::clamp<int64_t>(
        roundEven(static_cast<double>(right - left) * coef / FontSize) - 1, 1, INT_MAX / 2));
    const int64_t maxLines = (top - FPageMarginBottom) / lineStep + 2;

    QStringList lines;
    if (!Text.isEmpty() || RemainingText.isEmpty())
        SplitTextToLines(Text, chars, AWordWrap, lines);
    else
        lines = RemainingText;
    R.setBottom(clampInt(top + std::min<int64_t>(lines.size(), maxLines) * lineStep));
    if (CalcOnly)
        return;

    const PdfFontMetrics* metrics = FindPdfFontMetrics(F.PDFName);
    auto measure = [&](const QString& line) {
        int64_t units = 0;
        if (FUnicode) {
            for (const QChar c : line)
                units += charWidth(metrics, c.unicode());
        } else {
            for (const char b : AnsiText(line))
                units += charWidth(metrics, platform::cp1252ToUnicode(static_cast<unsigned char>(b)));
        }
        return static_cast<double>(units) * FontSize / 1000.0;
    };

    StreamLine("q");
    StreamLine(ColorToPDFRGB(FontColor) + " rg");
    StreamLine("BT");
    StreamLine("/" + PdfName(PDFFontInternalName) + " " + QByteArray::number(FontSize) + " Tf");
    QStringList overflow;
    int64_t previousX = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        const QByteArray encoded
            = FUnicode ? "<" + ToUnicode(line, F) + "> Tj" : "(" + EscapeText(AnsiText(line)) + ") Tj";
        if (i >= maxLines) {
            overflow.append(line);
            continue;
        }
        int64_t x = left;
        if (AAlignment & (Qt::AlignRight | Qt::AlignHCenter)) {
            const int64_t w = roundEven(measure(line));
            x = (AAlignment & Qt::AlignRight)
                ? right - w
                : roundEven(static_cast<double>(left + right) / 2.0 - static_cast<double>(w) / 2.0);
        }
        if (i == 0)
            StreamLine(QByteArray::number(static_cast<qlonglong>(x)) + " "
                       + QByteArray::number(static_cast<qlonglong>(top)) + " Td");
        else
            StreamLine(QByteArray::number(static_cast<qlonglong>(x - previousX)) + " -"
                       + QByteArray::number(static_cast<qlonglong>(lineStep)) + " TD");
        previousX = x;
        StreamLine(encoded);
    }
    StreamLine("ET");
    StreamLine("Q");
    RemainingText = overflow;
}

void TkxPDFDocument::WriteWatermark(const QString& AText, TWatermarkType AType, platform::Color AColor)
{
    RequirePage("WriteWatermark");
    if (AType == wmtComment) {
        // A line break would end the comment and turn the rest into operators.
        QByteArray text = AnsiText(AText);
        text.replace('\r', ' ');
        text.replace('\n', ' ');
        StreamLine("%" + text);
        return;
    }
    const int f0 = FontIndexByInternalName(QStringLiteral("F0"));
    if (f0 < 0)
        throw platform::Error(QStringLiteral("PDF document: a watermark needs the font F0"));
    float angle = 90;
    int64_t x = 10, y = FPageMarginBottom;
    switch (AType) {
    case wmtTopLeft: angle = 0, x = FPageMarginLeft, y = int64_t(FPageHeight) - 10; break;
    case wmtRightLeft:
        angle = 270, x = int64_t(FPageWidth) - 10, y = int64_t(FPageHeight) - FPageMarginTop;
        break;
    case wmtBottomLeft: angle = 0, x = FPageMarginLeft, y = 0; break;
    default: break;
    }
    StreamLine("q");
    StreamLine(ColorToPDFRGB(AColor) + " rg");
    StreamLine("BT");
    StreamLine("/F0 10 Tf");
    Stream_SetTextMatrix(angle, static_cast<float>(x), static_cast<float>(y));
    // Through a composite font the text must be character identifiers.
    StreamLine(FUnicode ? "<" + ToUnicode(AText, FFonts[static_cast<size_t>(f0)]) + "> Tj"
                        : "(" + EscapeText(AnsiText(AText)) + ") Tj");
    StreamLine("ET");
    StreamLine("Q");
}
