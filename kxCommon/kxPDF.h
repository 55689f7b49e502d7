#pragma once
// A PDF 1.2 writer: fonts, text boxes, rectangles, lines and images, written
// front to back in one pass with a cross-reference table and trailer.

#include "kxCommon/kxTypes.h"
#include "platform/Color.h"
#include "platform/Exceptions.h"

#include <QByteArray>
#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QIODevice>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QBuffer;

// A call the document cannot take in its present state (a page operation
// without an open page, a font after the first image, ...). Raised before
// anything is written, so the output stays as it was.
class EPdfOrderError : public platform::Error {
public:
    using Error::Error;
};

// The byte writer that fills a stream body: text lines go straight to the
// destination, bytes and pixels through a 512-byte buffer.
class TkxPdfWriter {
public:
    explicit TkxPdfWriter(QIODevice* DestStream);
    TkxPdfWriter(const TkxPdfWriter&) = delete;
    TkxPdfWriter& operator=(const TkxPdfWriter&) = delete;

    void WriteLine(const QByteArray& Text);
    void Write(const void* Text, int Len);
    // Count pixels read blue-green-red at P, P + PInc, ...; written R, G, B.
    void WriteRGB(const unsigned char* P, int PInc, int Count);
    void Save();

private:
    void DestWrite(const char* Data, qint64 Len);

    unsigned char* B;
    unsigned char* BEnd;
    unsigned char* BEnd4;
    QIODevice* FDestStream;
    unsigned char MemoryBuffer[512];
    QByteArray FLineTerminator;
};

struct TPDFObject {
    int ObjectNo = 0;
    int64_t StartPos = 0;
};

struct TPDFPage {
    int ObjectNo = 0;
    int Resources = 0;
    int Contents = 0;
    int XObjectStartIndex = -1;
    int XObjectEndIndex = -1;
};
using TPDFPages = std::vector<TPDFPage>;

struct TPDFXObject {
    int ObjectNo = 0;
    QString InternalName;
    int Col = 0;
    int Row = 0;
    int Width = 0;
    int Height = 0;
};
using TPDFXObjects = std::vector<TPDFXObject>;

struct TPDFFont {
    QString Name;
    QString PDFName;
    QString InternalName;
    bool Bold = false;
    bool Italic = false;
    // Unicode mode: the UTF-16 codes used, as 4 hex digits, in order of first
    // use, and the glyph width of each; absent until the first character.
    std::optional<QStringList> CMap;
    std::optional<QStringList> CWidths;
    QHash<char16_t, int> CMapIndex;  // code -> position in CMap
};

// A complete JPEG file, written as it is (DCT data).
struct TkxJpegPicture {
    QByteArray Data;
};

class TkxPDFDocument {
public:
    using Clock = std::function<QDateTime()>;

    // AStream: positioned at 0, open for writing; not owned.
    explicit TkxPDFDocument(QIODevice* AStream);
    virtual ~TkxPDFDocument();
    TkxPDFDocument(const TkxPDFDocument&) = delete;
    TkxPDFDocument& operator=(const TkxPDFDocument&) = delete;

    // The local time stamped into the information dictionary.
    void SetClock(Clock AClock) { FClock = std::move(AClock); }

    // Document structure.
    void WriteHeader(bool ACompress, bool AUnicode, int APageHeight, int APageWidth, int APageMarginLeft,
                     int APageMarginTop, int APageMarginRight, int APageMarginBottom,
                     const QString& AInfoAuthor, const QString& AInfoProducer, const QString& AInfoCreator,
                     const QString& AInfoTitle);
    void WritePageHeader();
    void WritePageFooter();
    void WriteFooter();

    // Content operators of the open page.
    void Stream_WriteLine(const QString& Text);
    void Stream_SetFillColor(platform::Color Value);
    void Stream_SetStrokeColor(platform::Color Value);
    void Stream_SetLineWidth(float Value);
    void Stream_MoveTo(int x, int y);
    void Stream_LineTo(int x, int y);
    void Stream_Rectangle(int x, int y, int w, int h);
    void Stream_SetTextMatrix(float Angle, float x, float y);
    void Stream_SetImageBox(float x, float y, float w, float h);

    // Images, only while no page is open. A bitmap of 1 or 8 bits per pixel
    // is written as an indexed image, any other as RGB;
    // FixedTransparentColor (0x00BBGGRR) makes one colour of a 24-bit bitmap
    // transparent.
    void AddXObject(int ObjCounter, int ACol, int ARow, const QImage& G,
                    std::optional<uint32_t> FixedTransparentColor = std::nullopt);
    void AddXObject(int ObjCounter, int ACol, int ARow, const TkxJpegPicture& G);

    // Fonts, before the first image or page.
    static QString PDFFontName(const QFont& Font);
    QString CheckAddFont(const QFont& F);
    void AddFont(const QString& AName, const QString& APDFName, const QString& AInternalName, bool ABold,
                 bool AItalic);
    QString PDFFontInternalName(const QFont& F) const;
    QByteArray ToUnicode(const QString& s, TPDFFont& F);

    // Text.
    // R: Left and Right bound the lines, Top is the first baseline; Bottom is
    // set. RemainingText: the lines that did not fit, or the lines to go on
    // with when Text is empty.
    void WriteTextBox(const QString& Text, bool CalcOnly, const QString& PDFFontInternalName, int FontSize,
                      platform::Color FontColor, Qt::Alignment AAlignment, bool AWordWrap, QRect& R,
                      TStringArray& RemainingText);
    void WriteWatermark(const QString& AText, TWatermarkType AType, platform::Color AColor);
    static float PDFTextLenCoef(const QString& FontName, bool Bold, bool Italic);
    static QByteArray EscapeText(const QByteArray& s);

    // The tables the client reads (and, for the open page, sets the first and
    // last image index of).
    TPDFPages FPages;
    TPDFXObjects FXObjects;
    const std::vector<TPDFFont>& Fonts() const { return FFonts; }
    int ReservedObjectNumbersCount() const { return FReservedObjectNumbersCount; }

protected:
    void WriteXRef();
    void WriteTrailer(int64_t XrefPos);

private:
    enum class State { Created, HeaderWritten, PageOpen, PageClosed, Finished };

    void Require(bool Condition, const char* What) const;
    void RequirePage(const char* What) const;
    int NextObjectNo() const;
    void WriteDocLine(const QByteArray& Text);
    void WriteDocBytes(const char* Data, qint64 Len);
    void BeginObject(int ObjectNo);
    void EndObject();
    void SortObjects();
    void StreamLine(const QByteArray& Text);
    void BeginStreamBody();
    void EndStreamBody();
    QByteArray ColorToPDFRGB(platform::Color Value) const;
    void WriteStreamBody(bool IsImage, bool IsJPEG, bool WithLength1);
    void WriteImageXObject(int ObjectNo, int ObjCounter, const QImage& G,
                           std::optional<uint32_t> FixedTransparentColor);
    void WriteJpegXObject(int ObjectNo, int ObjCounter, const TkxJpegPicture& G, int Components);
    int FontIndexByInternalName(const QString& Name) const;
    int CMapCharIndex(char16_t c, TPDFFont& F);
    void WriteToUnicodeCMap(int ObjectNo, const TPDFFont& F);
    void WriteFonts();

    QByteArray FLineTerminator;
    int FFontStartingObjectNo = 4;
    int FPagesObjectNo = 3;
    int FReservedObjectNumbersCount = 1;
    QIODevice* FStream;
    int64_t FStreamPos = 0;
    std::vector<TPDFObject> FObjects;
    std::vector<TPDFFont> FFonts;
    std::unique_ptr<QBuffer> FPDFStream;
    std::unique_ptr<TkxPdfWriter> FPDFWriter;
    // One compressor for every stream: set up once, not once a stream.
    struct Deflater;
    std::unique_ptr<Deflater> FDeflater;
    int FPageHeight = 0;
    int FPageWidth = 0;
    int FPageMarginLeft = 0;
    int FPageMarginTop = 0;
    int FPageMarginRight = 0;
    int FPageMarginBottom = 0;
    bool FCompress = false;
    bool FUnicode = false;
    State FState = State::Created;
    Clock FClock;
};
