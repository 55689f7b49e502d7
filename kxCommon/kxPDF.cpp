// The byte writer, the document frame (object numbering, header, pages,
// page tree, cross-reference table, trailer), the content operators, stream
// bodies and image objects. Fonts and text are in kxPDFFonts.cpp.

#include "kxCommon/kxPDF.h"

#include "kxCommon/kxPDFPrivate.h"
#include "platform/CodePage1252.h"
#include "platform/FileSystem.h"
#include "platform/ImageMemory.h"

#include <QBuffer>

#include <jpeglib.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

const QString kInvalidImage = QStringLiteral("ExpErr-00004: Invalid image.");

QByteArray num(int64_t v) { return QByteArray::number(static_cast<qlonglong>(v)); }

// libjpeg reports errors by calling error_exit, which must not return.
struct JpegErrorJump {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegErrorJump*>(cinfo->err)->jump, 1);
}

void jpegNoMessage(j_common_ptr) {}

// Size and component count from the JPEG header; false when the bytes are
// no JPEG file libjpeg can read.
bool readJpegHeader(const QByteArray& data, int& width, int& height, int& components)
{
    if (data.isEmpty())
        return false;
    jpeg_decompress_struct cinfo;
    JpegErrorJump err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegErrorExit;
    err.mgr.output_message = jpegNoMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    width = static_cast<int>(std::min<JDIMENSION>(cinfo.image_width, INT32_MAX));
    height = static_cast<int>(std::min<JDIMENSION>(cinfo.image_height, INT32_MAX));
    components = cinfo.num_components;
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

namespace kxpdf {

QByteArray FormatFixed2(double v)
{
    if (!std::isfinite(v))
        v = 0;  // keeps the operand a number a reader can parse
    QByteArray out;
    // A value that lies exactly halfway between two hundredths goes away
    // from zero, as a decimal rounding would; the rest rounds to nearest.
    const double r = std::nearbyint(v * 200.0);
    if (std::fabs(v) < 1e15 && std::fma(v, 200.0, -r) == 0.0 && std::fmod(r, 2.0) != 0.0) {
        const int64_t hundredths = static_cast<int64_t>((r + (r > 0 ? 1 : -1)) / 2);
        const int64_t a = hundredths < 0 ? -hundredths : hundredths;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s%lld.%02lld", hundredths < 0 ? "-" : "",
                      static_cast<long long>(a / 100), static_cast<long long>(a % 100));
        out = buf;
    } else {
        char buf[400];
        const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
        out = QByteArray(buf, static_cast<qsizetype>(res.ptr - buf));
    }
    if (out == "-0.00")
        out = "0.00";
    return out;
}

QByteArray FormatPDFNumber(double v)
{
    if (!std::isfinite(v))
        v = 0;
    const double scaled = std::trunc(v * 100.0 + 0.5);
    const int64_t h = std::fabs(scaled) < 9e15 ? static_cast<int64_t>(scaled) : 0;
    const int64_t a = h < 0 ? -h : h;
    QByteArray out = h < 0 ? "-" : "";
    out += num(a / 100);
    const int64_t frac = a % 100;
    if (frac != 0) {
        out += '.';
        out += char('0' + frac / 10);
        if (frac % 10 != 0)
            out += char('0' + frac % 10);
    }
    return out;
}

QByteArray AnsiText(const QString& s) { return platform::toCp1252(s); }

QByteArray PdfName(const QString& s)
{
    static const char kDelimiters[] = "()<>[]{}/%#";
    QByteArray out;
    for (const char ch : platform::toCp1252(s)) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 33 || b > 126 || std::strchr(kDelimiters, ch) != nullptr) {
            char buf[4];
            std::snprintf(buf, sizeof buf, "#%02X", b);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace kxpdf

using namespace kxpdf;

// ---------------------------------------------------------------- writer

TkxPdfWriter::TkxPdfWriter(QIODevice* DestStream)
    : B(MemoryBuffer),
      BEnd(MemoryBuffer + 511),
      BEnd4(MemoryBuffer + 507),
      FDestStream(DestStream),
      MemoryBuffer {},
      FLineTerminator("\r\n")
{
    if (DestStream == nullptr)
        throw platform::Error(QStringLiteral("No destination stream"));
}

void TkxPdfWriter::DestWrite(const char* Data, qint64 Len)
{
    QString reason;
    if (!platform::writeAll(*FDestStream, QByteArrayView(Data, Len), &reason))
        throw platform::InOutError(QStringLiteral("Stream write error. ") + reason);
}

void TkxPdfWriter::WriteLine(const QByteArray& Text)
{
    DestWrite((Text + FLineTerminator).constData(), Text.size() + FLineTerminator.size());
}

void TkxPdfWriter::Write(const void* Text, int Len)
{
    if (Len <= 0)
        return;
    if (Len >= BEnd - B) {
        Save();
        DestWrite(static_cast<const char*>(Text), Len);
        return;
    }
    std::memcpy(B, Text, static_cast<size_t>(Len));
    B += Len;
}

void TkxPdfWriter::WriteRGB(const unsigned char* P, int PInc, int Count)
{
    for (int i = 0; i < Count; ++i) {
        if (B >= BEnd4)
            Save();
        B[0] = P[2];
        B[1] = P[1];
        B[2] = P[0];
        B += 3;
        if (i + 1 < Count)
            P += PInc;
    }
}

void TkxPdfWriter::Save()
{
    DestWrite(reinterpret_cast<const char*>(MemoryBuffer), B - MemoryBuffer);
    B = MemoryBuffer;
}

// -------------------------------------------------------------- document

// The same bytes as compress2() makes of a body, with the compressor set up
// once. A document of thousands of icons often shows one picture many
// times, and packing is most of its cost: a small body packed before is
// not packed again.
struct TkxPDFDocument::Deflater {
    static constexpr qsizetype kMaxRememberedBody = 64 * 1024;
    static constexpr qsizetype kMaxRememberedBytes = 16 * 1024 * 1024;
    z_stream z {};
    QHash<QByteArray, QByteArray> remembered;
    qsizetype rememberedBytes = 0;

    Deflater()
    {
        const int rc = deflateInit(&z, Z_DEFAULT_COMPRESSION);
        if (rc != Z_OK)
            throw platform::Error(QStringLiteral("Compression failed (%1)").arg(rc));
    }
    ~Deflater() { deflateEnd(&z); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    QByteArray pack(const QByteArray& raw)
    {
        const bool small = raw.size() <= kMaxRememberedBody;
        if (small)
            if (const auto it = remembered.constFind(raw); it != remembered.cend())
                return *it;
        if (raw.size() > qsizetype {std::numeric_limits<uInt>::max() / 2})
            throw platform::Error(QStringLiteral("Compression failed (%1)").arg(Z_BUF_ERROR));
        QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(raw.size()))),
                       Qt::Uninitialized);
        deflateReset(&z);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.constData()));
        z.avail_in = static_cast<uInt>(raw.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = deflate(&z, Z_FINISH);
        if (rc != Z_STREAM_END)
            throw platform::Error(QStringLiteral("Compression failed (%1)").arg(rc));
        out.resize(static_cast<qsizetype>(z.total_out));
        if (small && rememberedBytes + raw.size() + out.size() <= kMaxRememberedBytes) {
            remembered.insert(QByteArray(raw.constData(), raw.size()), out);
            rememberedBytes += raw.size() + out.size();
        }
        return out;
    }
};

TkxPDFDocument::TkxPDFDocument(QIODevice* AStream)
    : FLineTerminator("\r\n"), FStream(AStream), FClock([] { return QDateTime::currentDateTime(); })
{
    if (AStream == nullptr)
        throw platform::Error(QStringLiteral("No output stream"));
    FStreamPos = AStream->isSequential() ? 0 : AStream->pos();
}

TkxPDFDocument::~TkxPDFDocument() = default;

void TkxPDFDocument::Require(bool Condition, const char* What) const
{
    if (!Condition)
        throw EPdfOrderError(QStringLiteral("PDF document: %1 is not possible now").arg(QLatin1String(What)));
}

void TkxPDFDocument::RequirePage(const char* What) const
{
    Require(FState == State::PageOpen && FPDFWriter != nullptr && !FPages.empty(), What);
}

int TkxPDFDocument::NextObjectNo() const
{
    return static_cast<int>(FObjects.size()) + FReservedObjectNumbersCount + 1;
}

void TkxPDFDocument::WriteDocBytes(const char* Data, qint64 Len)
{
    QString reason;
    if (!platform::writeAll(*FStream, QByteArrayView(Data, Len), &reason))
        throw platform::InOutError(QStringLiteral("Stream write error. ") + reason);
    FStreamPos += Len;
}

void TkxPDFDocument::WriteDocLine(const QByteArray& Text)
{
    const QByteArray line = Text + FLineTerminator;
    WriteDocBytes(line.constData(), line.size());
}

void TkxPDFDocument::BeginObject(int ObjectNo)
{
    FObjects.push_back({ObjectNo, FStreamPos});
    WriteDocLine(num(ObjectNo) + " 0 obj");
}

void TkxPDFDocument::EndObject() { WriteDocLine("endobj"); }

void TkxPDFDocument::SortObjects()
{
    std::sort(FObjects.begin(), FObjects.end(),
              [](const TPDFObject& a, const TPDFObject& b) { return a.ObjectNo < b.ObjectNo; });
}

void TkxPDFDocument::StreamLine(const QByteArray& Text) { FPDFWriter->WriteLine(Text); }

void TkxPDFDocument::BeginStreamBody()
{
    FPDFStream = std::make_unique<QBuffer>();
    FPDFStream->open(QIODevice::WriteOnly);
    FPDFWriter = std::make_unique<TkxPdfWriter>(FPDFStream.get());
}

void TkxPDFDocument::EndStreamBody()
{
    FPDFWriter.reset();
    FPDFStream.reset();
}

void TkxPDFDocument::WriteHeader(bool ACompress, bool AUnicode, int APageHeight, int APageWidth,
                                 int APageMarginLeft, int APageMarginTop, int APageMarginRight,
                                 int APageMarginBottom, const QString& AInfoAuthor,
                                 const QString& AInfoProducer, const QString& AInfoCreator,
                                 const QString& AInfoTitle)
{
    Require(FState == State::Created, "WriteHeader");
    FCompress = ACompress;
    FUnicode = AUnicode;
    FPageHeight = APageHeight;
    FPageWidth = APageWidth;
    FPageMarginLeft = APageMarginLeft;
    FPageMarginTop = APageMarginTop;
    FPageMarginRight = APageMarginRight;
    FPageMarginBottom = APageMarginBottom;
    FState = State::HeaderWritten;

    WriteDocLine("%PDF-1.2");
    BeginObject(1);
    WriteDocLine("<< /Type /Catalog");
    WriteDocLine("/Pages " + num(FPagesObjectNo) + " 0 R");
    WriteDocLine(">>");
    EndObject();

    // Readers take these strings as PDFDocEncoding, which agrees with the
    // ANSI code page only in ASCII; other text goes as UTF-16 with its mark.
    auto literal = [](const QString& s) -> QByteArray {
        const bool ascii = std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x80; });
        if (ascii)
            return "(" + EscapeText(AnsiText(s)) + ")";
        QByteArray hex = "<FEFF";
        for (const QChar c : s)
            hex += QByteArray::number(c.unicode() | 0x10000, 16).mid(1).toUpper();
        return hex + ">";
    };
    BeginObject(2);
    WriteDocLine("<< /Author " + literal(AInfoAuthor));
    WriteDocLine("/Producer " + literal(AInfoProducer));
    WriteDocLine("/Creator " + literal(AInfoCreator));
    WriteDocLine("/Title " + literal(AInfoTitle));
    WriteDocLine("/Keywords ()");
    WriteDocLine("/Subject ()");
    const QDateTime now = FClock();
    WriteDocLine("/CreationDate (D:" + now.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + ")");
    WriteDocLine(">>");
    EndObject();
}

void TkxPDFDocument::WritePageHeader()
{
    Require(FState == State::HeaderWritten || FState == State::PageClosed, "WritePageHeader");
    const int p = NextObjectNo();
    FPages.push_back({p, p + 2, p + 1, -1, -1});
    BeginObject(p);
    WriteDocLine("<< /Type /Page");
    WriteDocLine("/Parent " + num(FPagesObjectNo) + " 0 R");
    WriteDocLine("/MediaBox [0 0 " + num(FPageWidth) + " " + num(FPageHeight) + "]");
    WriteDocLine("/Contents " + num(p + 1) + " 0 R");
    WriteDocLine("/Resources " + num(p + 2) + " 0 R");
    WriteDocLine(">>");
    EndObject();
    BeginStreamBody();
    FState = State::PageOpen;
}

void TkxPDFDocument::WritePageFooter()
{
    RequirePage("WritePageFooter");
    const TPDFPage page = FPages.back();
    if (page.XObjectStartIndex >= 0
        && (page.XObjectEndIndex >= static_cast<int>(FXObjects.size()) || page.XObjectEndIndex < -1))
        throw platform::Error(QStringLiteral("PDF document: the page names image %1 of %2")
                                  .arg(page.XObjectEndIndex)
                                  .arg(FXObjects.size()));

    BeginObject(page.Contents);
    WriteDocLine("<<");
    WriteStreamBody(false, false, false);
    EndObject();
    EndStreamBody();
    FState = State::PageClosed;

    BeginObject(page.Resources);
    WriteDocLine("<<");
    QByteArray fonts;
    for (size_t i = 0; i < FFonts.size(); ++i)
        fonts += "/" + PdfName(FFonts[i].InternalName) + " "
            + num(FFontStartingObjectNo + static_cast<int64_t>(i)) + " 0 R ";
    WriteDocLine("/Font << " + fonts.trimmed() + " >>");
    WriteDocLine("/ProcSet [ /PDF /Text ]");
    if (page.XObjectStartIndex >= 0) {
        QByteArray images;
        for (int k = page.XObjectStartIndex; k <= page.XObjectEndIndex; ++k)
            images += "/" + PdfName(FXObjects[static_cast<size_t>(k)].InternalName) + " "
                + num(FXObjects[static_cast<size_t>(k)].ObjectNo) + " 0 R ";
        WriteDocLine("/XObject << " + images.trimmed() + " >>");
    }
    WriteDocLine(">>");
    EndObject();
}

void TkxPDFDocument::WriteFooter()
{
    Require(FState == State::PageOpen || FState == State::PageClosed, "WriteFooter");
    if (FState == State::PageOpen)
        WritePageFooter();
    FState = State::Finished;

    BeginObject(FPagesObjectNo);
    WriteDocLine("<< /Type /Pages");
    QByteArray kids;
    for (const TPDFPage& page : FPages)
        kids += num(page.ObjectNo) + " 0 R ";
    WriteDocLine("/Kids [ " + kids + "]");
    WriteDocLine("/Count " + num(static_cast<int64_t>(FPages.size())));
    WriteDocLine(">>");
    EndObject();
    WriteFonts();
    WriteXRef();
}

void TkxPDFDocument::WriteXRef()
{
    Require(FState == State::Finished, "WriteXRef");
    SortObjects();
    const int64_t x = FStreamPos;
    WriteDocLine("xref");
    WriteDocLine("0 " + num(static_cast<int64_t>(FObjects.size()) + 1));
    WriteDocLine("0000000000 65535 f");
    for (const TPDFObject& o : FObjects)
        WriteDocLine(num(o.StartPos).rightJustified(10, '0') + " 00000 n");
    WriteTrailer(x);
}

void TkxPDFDocument::WriteTrailer(int64_t XrefPos)
{
    Require(FState == State::Finished, "WriteTrailer");
    WriteDocLine("trailer");
    WriteDocLine("<< /Root 1 0 R");
    WriteDocLine("/Info 2 0 R");
    WriteDocLine("/Size " + num(static_cast<int64_t>(FObjects.size()) + 1));
    WriteDocLine(">>");
    WriteDocLine("startxref");
    WriteDocLine(num(XrefPos));
    WriteDocLine("%%EOF");
}

// ------------------------------------------------------ content operators

void TkxPDFDocument::Stream_WriteLine(const QString& Text)
{
    RequirePage("Stream_WriteLine");
    StreamLine(AnsiText(Text));
}

QByteArray TkxPDFDocument::ColorToPDFRGB(platform::Color Value) const
{
    const uint32_t rgb = platform::colorToRgb(Value);
    return FormatPDFNumber((rgb & 0xFF) / 255.0) + " " + FormatPDFNumber(((rgb >> 8) & 0xFF) / 255.0) + " "
        + FormatPDFNumber(((rgb >> 16) & 0xFF) / 255.0);
}

void TkxPDFDocument::Stream_SetFillColor(platform::Color Value)
{
    RequirePage("Stream_SetFillColor");
    StreamLine(ColorToPDFRGB(Value) + " rg");
}

void TkxPDFDocument::Stream_SetStrokeColor(platform::Color Value)
{
    RequirePage("Stream_SetStrokeColor");
    StreamLine(ColorToPDFRGB(Value) + " RG");
}

void TkxPDFDocument::Stream_SetLineWidth(float Value)
{
    RequirePage("Stream_SetLineWidth");
    StreamLine(FormatFixed2(Value) + " w");
}

void TkxPDFDocument::Stream_MoveTo(int x, int y)
{
    RequirePage("Stream_MoveTo");
    StreamLine(num(x) + " " + num(y) + " m");
}

void TkxPDFDocument::Stream_LineTo(int x, int y)
{
    RequirePage("Stream_LineTo");
    StreamLine(num(x) + " " + num(y) + " l");
}

void TkxPDFDocument::Stream_Rectangle(int x, int y, int w, int h)
{
    RequirePage("Stream_Rectangle");
    StreamLine(num(x) + " " + num(y) + " " + num(w) + " " + num(h) + " re");
}

void TkxPDFDocument::Stream_SetTextMatrix(float Angle, float x, float y)
{
    RequirePage("Stream_SetTextMatrix");
    // 3.14, not pi: the angles 90 and 270 still print as 0.00 and +-1.00.
    const float a = static_cast<float>(static_cast<double>(Angle) * 3.14 / 180.0);
    const double c = std::cos(static_cast<double>(a));
    const double s = std::sin(static_cast<double>(a));
    StreamLine(FormatFixed2(c) + " " + FormatFixed2(s) + " " + FormatFixed2(-s) + " " + FormatFixed2(c) + " "
               + FormatFixed2(x) + " " + FormatFixed2(y) + " Tm");
}

void TkxPDFDocument::Stream_SetImageBox(float x, float y, float w, float h)
{
    RequirePage("Stream_SetImageBox");
    StreamLine(FormatFixed2(w) + " 0 0 " + FormatFixed2(h) + " " + FormatFixed2(x) + " " + FormatFixed2(y)
               + " cm");
}

// ---------------------------------------------------------- stream bodies

void TkxPDFDocument::WriteStreamBody(bool IsImage, bool IsJPEG, bool WithLength1)
{
    const QByteArray& raw = FPDFStream->data();
    const int64_t L = raw.size();
    auto lengthEntry = [&](int64_t len) {
        WriteDocLine(WithLength1 ? "/Length " + num(len) + " /Length1 " + num(L) : "/Length " + num(len));
    };
    if (!FCompress || (IsImage && IsJPEG)) {
        lengthEntry(L);
        WriteDocLine(">>");
        WriteDocLine("stream");
        WriteDocBytes(raw.constData(), L);
        WriteDocLine("");
        WriteDocLine("endstream");
        return;
    }
    if (!FDeflater)
        FDeflater = std::make_unique<Deflater>();
    const QByteArray packed = FDeflater->pack(raw);
    const auto size = packed.size();
    lengthEntry(static_cast<int64_t>(size));
    WriteDocLine("/Filter /FlateDecode");
    WriteDocLine(">>");
    WriteDocLine("stream");
    WriteDocBytes(packed.constData(), static_cast<qint64>(size));
    WriteDocLine("");
    WriteDocLine("endstream");
}

// ----------------------------------------------------------------- images

namespace {

// What the image writer does with a bitmap of each format.
enum class ImageKind { Direct24, Direct32, Indexed, Other };

ImageKind imageKind(const QImage& G)
{
    switch (G.format()) {
    case QImage::Format_BGR888:
    case QImage::Format_RGB888: return ImageKind::Direct24;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? ImageKind::Direct32 : ImageKind::Other;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8: return ImageKind::Indexed;
    default: return ImageKind::Other;
    }
}

// The 8-bit bitmap of an indexed one: a 1-bit bitmap becomes a new 8-bit one
// with a palette of 256 entries, as a new 8-bit bitmap has.
QImage indexed8(const QImage& G)
{
    if (G.format() == QImage::Format_Indexed8)
        return G;
    QImage b = platform::converted(G, QImage::Format_Indexed8);
    QList<QRgb> palette = b.colorTable();
    palette.resize(256, qRgb(0, 0, 0));
    b.setColorTable(palette);
    return b;
}

QByteArray PaletteToHexString(const QList<QRgb>& entries)
{
    static const char kDigits[] = "0123456789ABCDEF";
    QByteArray out = "<";
    for (const QRgb c : entries) {
        for (const int v : {qRed(c), qGreen(c), qBlue(c)}) {
            out += kDigits[v >> 4];
            out += kDigits[v & 15];
        }
        out += ' ';
    }
    out += '>';
    return out;
}

}  // namespace

void TkxPDFDocument::AddXObject(int ObjCounter, int ACol, int ARow, const QImage& G,
                                std::optional<uint32_t> FixedTransparentColor)
{
    Require(FState == State::HeaderWritten || FState == State::PageClosed, "AddXObject");
    if (G.isNull() || G.width() <= 0 || G.height() <= 0)
        throw platform::Error(kInvalidImage);
    if (imageKind(G) == ImageKind::Indexed && indexed8(G).colorCount() != 256)
        throw platform::Error(kInvalidImage);
    const int objectNo = NextObjectNo();
    FXObjects.push_back({objectNo, "Img" + QString::number(ObjCounter), ACol, ARow, G.width(), G.height()});
    WriteImageXObject(objectNo, ObjCounter, G, FixedTransparentColor);
}

void TkxPDFDocument::AddXObject(int ObjCounter, int ACol, int ARow, const TkxJpegPicture& G)
{
    Require(FState == State::HeaderWritten || FState == State::PageClosed, "AddXObject");
    int w = 0, h = 0, components = 0;
    if (!readJpegHeader(G.Data, w, h, components) || w <= 0 || h <= 0
        || (components != 1 && components != 3 && components != 4))
        throw platform::Error(kInvalidImage);
    const int objectNo = NextObjectNo();
    FXObjects.push_back({objectNo, "Img" + QString::number(ObjCounter), ACol, ARow, w, h});
    BeginObject(objectNo);
    WriteDocLine("<< /Type /XObject");
    WriteDocLine("/Subtype /Image");
    WriteDocLine("/Name /Img" + num(ObjCounter));
    WriteJpegXObject(objectNo, ObjCounter, G, components);
    WriteDocLine("/Width " + num(w));
    WriteDocLine("/Height " + num(h));
    WriteDocLine("/BitsPerComponent 8");
    WriteStreamBody(true, true, false);
    EndStreamBody();
    EndObject();
}

void TkxPDFDocument::WriteJpegXObject(int, int, const TkxJpegPicture& G, int Components)
{
    WriteDocLine(Components == 1       ? "/ColorSpace /DeviceGray"
                     : Components == 4 ? "/ColorSpace /DeviceCMYK"
                                       : "/ColorSpace /DeviceRGB");
    WriteDocLine("/Filter /DCTDecode");
    BeginStreamBody();
    FPDFStream->write(G.Data);
}

void TkxPDFDocument::WriteImageXObject(int ObjectNo, int ObjCounter, const QImage& G,
                                       std::optional<uint32_t> FixedTransparentColor)
{
    struct BodyGuard {
        TkxPDFDocument* d;
        ~BodyGuard() { d->EndStreamBody(); }
    };
    BeginObject(ObjectNo);
    WriteDocLine("<< /Type /XObject");
    WriteDocLine("/Subtype /Image");
    WriteDocLine("/Name /Img" + num(ObjCounter));
    const int W = G.width();
    const int H = G.height();
    BeginStreamBody();
    BodyGuard guard {this};

    const ImageKind kind = imageKind(G);
    if (kind != ImageKind::Indexed) {
        WriteDocLine("/ColorSpace /DeviceRGB");
        QImage b = G;
        if (kind == ImageKind::Direct24 || kind == ImageKind::Other)
            b = platform::converted(G, QImage::Format_BGR888);
        const int pixelSize = kind == ImageKind::Direct32 ? 4 : 3;
        for (int y = 0; y < H; ++y)
            FPDFWriter->WriteRGB(b.constScanLine(y), pixelSize, W);
        FPDFWriter->Save();
        // A copy made from another format keeps no transparent colour.
        if (kind == ImageKind::Direct24 && FixedTransparentColor) {
            const uint32_t c = *FixedTransparentColor;
            const int64_t r = c & 0xFF, g = (c >> 8) & 0xFF, bl = (c >> 16) & 0xFF;
            WriteDocLine("/Mask [" + num(r) + " " + num(r) + " " + num(g) + " " + num(g) + " " + num(bl) + " "
                         + num(bl) + "]");
        }
    } else {
        const QImage b = indexed8(G);
        WriteDocLine("/ColorSpace [/Indexed /DeviceRGB 255 " + PaletteToHexString(b.colorTable()) + "]");
        for (int y = 0; y < H; ++y)
            FPDFWriter->Write(b.constScanLine(y), W);
        FPDFWriter->Save();
    }
    WriteDocLine("/Width " + num(W));
    WriteDocLine("/Height " + num(H));
    WriteDocLine("/BitsPerComponent 8");
    WriteStreamBody(true, false, false);
    EndObject();
}
