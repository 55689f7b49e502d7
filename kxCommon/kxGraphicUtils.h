#pragma once
// Picture routines shared by the controls and the save commands: grey
// scale, colour shading, writing a bitmap by format code, the screen's
// colour depth and printing a bitmap.

#include "platform/Bitmap.h"
#include "platform/Color.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <cstdint>

class QIODevice;

namespace platform {
class Printer;
}

// Picture format codes; every code other than 2-5 is written as BMP.
constexpr int kImageFormatIco = 0;
constexpr int kImageFormatBmp = 1;
constexpr int kImageFormatJpeg = 2;
constexpr int kImageFormatEmf = 3;
constexpr int kImageFormatGif = 4;
constexpr int kImageFormatPng = 5;

// Scales of PrintBitmap; any other value prints one bitmap pixel per printer pixel.
constexpr int kPrintActualSize = 0;
constexpr int kPrintFitPage = 1;

// The largest side of a picture of the whole grid, saved or printed: past
// it the picture would cost gigabytes, and no reader would open it.
inline constexpr int kMaxPictureSide = 16384;
// Throws platform::Error, before anything is made, when a picture of all
// Count icons of Width x Height pixels passes kMaxPictureSide; Action ends
// the message ("saved", "printed").
void CheckGridPictureSize(int Count, int64_t Width, int64_t Height, const QString& Action);

// Only a 24-bit bitmap is changed.
void GrayscaleBitmap(platform::Bitmap& Bitmap);
platform::Color DarkenColor(platform::Color Color, uint8_t Amount);
platform::Color LightenColor(platform::Color Color, uint8_t Amount);

// Failures (the writer's, the file's) throw std::runtime_error; a file that
// fails is not created and an existing one is left as it was.
void SaveBitmapToFile(const platform::Bitmap& Bitmap, const QString& FileName, int Format);
// Writes at the stream's current position.
void SaveBitmapToStream(const platform::Bitmap& Bitmap, QIODevice& Stream, int Format);

int GetScreenBitsPerPixel();

// Draws on the page the printer has open, at (0, 0); the caller begins and
// ends the document. A bitmap without pixels prints nothing.
void PrintBitmap(const platform::Bitmap& Bitmap, int Mode, platform::Printer& Printer);

// The arithmetic behind the routines above.
uint8_t grayLevel(uint8_t red, uint8_t green, uint8_t blue);

struct PrintMetrics {
    int printerPixelsPerInchX = 0;
    int printerPixelsPerInchY = 0;
    int screenPixelsPerInch = 96;
    int pageWidth = 0;
    int pageHeight = 0;
};
// The size on the page of a width × height bitmap; empty for an empty bitmap.
QSize printTargetSize(int width, int height, int Mode, const PrintMetrics& metrics);

// The bytes SaveBitmapToFile and SaveBitmapToStream write.
QByteArray encodeBitmap(const platform::Bitmap& Bitmap, int Format);

// ---- The face painter of the custom buttons --------------------------------

namespace platform {
class Canvas;
struct Rect;
}  // namespace platform
class QImage;

// Outline shapes; the one-side types curve the two corners of that side.
enum TkxControlEdgeType {
    efRect,
    efRoundRect,
    efEllipse,
    efRoundRectLeft,
    efRoundRectRight,
    efRoundRectTop,
    efRoundRectBottom
};
// What changes while a button is hot or pressed.
enum TkxButtonHilightMode { bhmNormal, bhmTextShadow, bhmTextGrey, bhmGlyphShadow };
// The state a button hands to the painter.
enum TkxFaceState { fstNormal, fstHot, fstDown, fstDisabled };

// Paints one whole button face: outline, fill or gradient, the glyph cell
// of the state, the caption (cut with "..." when it does not fit beside a
// glyph), the focus lines and the drop-down arrow. Glyph is a strip of
// NumGlyphs cells (normal, disabled, hot, pressed, focused); null or an
// empty image draws none. DropDownWidth is 0 without a drop-down part.
void DrawButtonFace(bool Windowless, platform::Canvas& Canvas, const platform::Rect& Rect,
                    platform::Color Color, platform::Color HiLightColor, platform::Color TextColor, bool Flat,
                    bool Shadowed, bool Focused, bool DrawFocus, TkxControlEdgeType EdgeType,
                    TkxFaceState State, const QString& Caption, const QImage* Glyph, int NumGlyphs,
                    TkxButtonHilightMode HilightMode, bool GlyphRight, bool DrawDropDown,
                    bool DropDownPressed, bool SeparateDropDown, int DropDownWidth);
// The outline and fill of one face; Rect becomes the inside of the outline.
void DrawButtonFrame(bool Windowless, platform::Canvas& Canvas, platform::Rect& Rect, platform::Color Color,
                     platform::Color HiLightColor, bool Flat, bool Shadowed, TkxControlEdgeType EdgeType,
                     TkxFaceState State);
// Text cut to MaxWidth with "...": the whole text, or the text less 2, 3, ...
// characters followed by "...", down to "..." alone.
void ShortenCaption(const QString& Text, platform::Canvas& Canvas, int MaxWidth, QString& Result);
