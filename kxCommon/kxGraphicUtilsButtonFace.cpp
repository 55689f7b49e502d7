// The face painter of the custom buttons.
#include "kxCommon/kxGraphicUtils.h"

#include "platform/Canvas.h"
#include "platform/CanvasDraw.h"

#include <QImage>
#include <QPainter>

using namespace platform;

namespace {

void setPen(Canvas& canvas, Color c) { canvas.pen().color = toQColor(c); }

void setSolidBrush(Canvas& canvas, Color c)
{
    canvas.brush().style = BrushStyle::Solid;
    canvas.brush().color = toQColor(c);
}

void inset(platform::Rect& r)
{
    ++r.left;
    ++r.top;
    --r.right;
    --r.bottom;
}

void GradientFillClipped(Canvas& canvas, const platform::Rect& r, Color top, Color bottom, bool elliptic)
{
    if (!elliptic) {
        gradientFillVertical(canvas, top, bottom, r);
        return;
    }
    if (r.isEmpty())
        return;
    QImage work(r.right - r.left, r.bottom - r.top, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter p(&work);
        Canvas workCanvas(p);
        gradientFillVertical(workCanvas, top, bottom, {0, 0, work.width(), work.height()});
    }
    selectClipEllipse(canvas, r);
    canvas.painter().drawImage(r.left, r.top, work);
    selectNoClip(canvas);
}

bool isRounded(TkxControlEdgeType t)
{
    return t == efRoundRect || t == efRoundRectLeft || t == efRoundRectRight || t == efRoundRectTop
        || t == efRoundRectBottom;
}

}  // namespace

void DrawButtonFrame(bool Windowless, Canvas& Canvas, platform::Rect& Rect, platform::Color Color,
                     platform::Color HiLightColor, bool Flat, bool Shadowed, TkxControlEdgeType EdgeType,
                     TkxFaceState State)
{
    if (Windowless && Flat && (State == fstNormal || State == fstDisabled))
        return;  // the parent shows through
    const platform::Rect outer = Rect;
    const bool rounded = isRounded(EdgeType);
    QColor corners[4];  // top-left, top-right, bottom-right, bottom-left
    if (rounded) {
        corners[0] = pixel(Canvas, outer.left, outer.top);
        corners[1] = pixel(Canvas, outer.right - 1, outer.top);
        corners[2] = pixel(Canvas, outer.right - 1, outer.bottom - 1);
        corners[3] = pixel(Canvas, outer.left, outer.bottom - 1);
    }

    platform::Rect w = Rect;
    const bool ell = EdgeType == efEllipse;
    switch (State) {
    case fstDown:
        setSolidBrush(Canvas, HiLightColor);
        if (ell) {
            setPen(Canvas, cl3DDkShadow);
            ellipse(Canvas, w);
            inset(w);
            if (!Flat) {
                setPen(Canvas, clBtnShadow);
                ellipse(Canvas, w);
                inset(w);
            }
        } else {
            setPen(Canvas, EdgeType == efRect ? clBtnShadow : cl3DDkShadow);
            rectangle(Canvas, w);
            inset(w);
        }
        break;
    case fstHot:
        setSolidBrush(Canvas, HiLightColor);
        if (ell) {
            if (Flat) {
                setPen(Canvas, clBtnShadow);
                ellipse(Canvas, w);
                setPen(Canvas, clBtnHighlight);
                ellipse(Canvas, {w.left, w.top, w.right - 1, w.bottom - 1});
            } else {
                setPen(Canvas, clWindowFrame);
                ellipse(Canvas, w);
                setPen(Canvas, clBtnShadow);
                ellipse(Canvas, {w.left, w.top, w.right - 1, w.bottom - 1});
                setPen(Canvas, clBtnHighlight);
                ellipse(Canvas, {w.left + 1, w.top + 1, w.right - 1, w.bottom - 1});
            }
            inset(w);
        } else {
            setPen(Canvas, cl3DDkShadow);
            rectangle(Canvas, w);
            inset(w);
            if (!Flat) {
                setPen(Canvas, clBtnHighlight);
                rectangle(Canvas, w);
                inset(w);
            }
        }
        break;
    case fstDisabled:
        Canvas.brush().style = BrushStyle::Clear;
        if (ell) {
            setPen(Canvas, clBtnShadow);
            ellipse(Canvas, w);
            if (!Flat) {
                setPen(Canvas, clBtnHighlight);
                ellipse(Canvas, {w.left, w.top, w.right - 1, w.bottom - 1});
            }
        } else {
            setPen(Canvas, clBtnShadow);
            rectangle(Canvas, w);
            inset(w);
        }
        break;
    case fstNormal:
        setSolidBrush(Canvas, clBtnFace);
        if (ell) {
            setPen(Canvas, clBtnShadow);
            ellipse(Canvas, w);
            if (!Flat) {
                setPen(Canvas, clBtnHighlight);
                ellipse(Canvas, {w.left, w.top, w.right - 1, w.bottom - 1});
                inset(w);
            }
        } else {
            setPen(Canvas, Flat ? clBtnShadow : cl3DDkShadow);
            rectangle(Canvas, w);
            inset(w);
            if (!Flat) {
                setPen(Canvas, clBtnHighlight);
                rectangle(Canvas, w);
                inset(w);
            }
        }
        break;
    }

    // The light end of the gradients is the 3-D highlight (white in the
    // classic scheme), so that a dark desktop theme keeps the face dark and
    // its light caption readable.
    if (Shadowed && State != fstDisabled && (!Flat || State == fstDown)) {
        switch (State) {
        case fstDown: GradientFillClipped(Canvas, w, clHighlight, clBtnHighlight, ell); break;
        case fstHot: GradientFillClipped(Canvas, w, clBtnHighlight, HiLightColor, ell); break;
        default: GradientFillClipped(Canvas, w, clBtnHighlight, Color, ell); break;
        }
    }

    if (rounded) {
        const bool left = EdgeType == efRoundRect || EdgeType == efRoundRectLeft;
        const bool right = EdgeType == efRoundRect || EdgeType == efRoundRectRight;
        const bool top = EdgeType == efRoundRectTop;
        const bool bottom = EdgeType == efRoundRectBottom;
        const QColor shadow = toQColor(clBtnShadow);
        const int L = outer.left, T = outer.top, R = outer.right, B = outer.bottom;
        struct Corner {
            bool on;
            QColor saved;
            int x, y, ix, iy, ax, ay, bx, by;
        };
        const Corner all[4] = {
            {left || top, corners[0], L, T, L + 1, T + 1, L, T + 1, L + 1, T},
            {right || top, corners[1], R - 1, T, R - 2, T + 1, R - 1, T + 1, R - 2, T},
            {right || bottom, corners[2], R - 1, B - 1, R - 2, B - 2, R - 1, B - 2, R - 2, B - 1},
            {left || bottom, corners[3], L, B - 1, L + 1, B - 2, L, B - 2, L + 1, B - 1},
        };
        for (const Corner& c : all) {
            if (!c.on)
                continue;
            if (c.saved.isValid())
                setPixel(Canvas, c.x, c.y, c.saved);
            setPixel(Canvas, c.ix, c.iy, shadow);
            if (State != fstDisabled) {
                setPixel(Canvas, c.ax, c.ay, shadow);
                setPixel(Canvas, c.bx, c.by, shadow);
            }
        }
    }
    Rect = w;
}

void ShortenCaption(const QString& Text, Canvas& Canvas, int MaxWidth, QString& Result)
{
    Result = Text;
    const qsizetype length = Text.size();
    qsizetype i = 1;
    while (i <= length && Canvas.textWidth(Result) > MaxWidth) {
        ++i;
        Result = Text.left(std::max<qsizetype>(length - i, 0)) + QStringLiteral("...");
    }
}

void DrawButtonFace(bool Windowless, Canvas& Canvas, const platform::Rect& Rect, platform::Color Color,
                    platform::Color HiLightColor, platform::Color TextColor, bool Flat, bool Shadowed,
                    bool Focused, bool DrawFocus, TkxControlEdgeType EdgeType, TkxFaceState State,
                    const QString& Caption, const QImage* Glyph, int NumGlyphs,
                    TkxButtonHilightMode HilightMode, bool GlyphRight, bool DrawDropDown,
                    bool DropDownPressed, bool SeparateDropDown, int DropDownWidth)
{
    // 1. Frames; F is the face rectangle the focus lines and the arrow use.
    platform::Rect F = Rect;
    if (DrawDropDown && SeparateDropDown) {
        platform::Rect main = Rect;
        main.right = Rect.right - DropDownWidth + 1;
        const platform::Rect part {Rect.right - DropDownWidth + 1, Rect.top, Rect.right, Rect.bottom};
        platform::Rect work = part;
        DrawButtonFrame(Windowless, Canvas, main, Color, HiLightColor, Flat, Shadowed,
                        EdgeType == efRoundRect ? efRoundRectLeft : EdgeType, State);
        DrawButtonFrame(Windowless, Canvas, work, Color, HiLightColor, Flat, Shadowed,
                        EdgeType == efRoundRect ? efRoundRectRight : EdgeType,
                        DropDownPressed ? fstDown : State);
        if (State != fstDisabled) {
            platform::Rect divider {part.left - (DropDownPressed ? 1 : 0), part.top + 1, part.right,
                                    part.bottom - 1};
            drawEdge(Canvas, divider, DropDownPressed ? EDGE_SUNKEN : EDGE_ETCHED, BF_LEFT);
        }
    } else {
        if (DrawDropDown && DropDownPressed)
            State = fstDown;
        DrawButtonFrame(Windowless, Canvas, F, Color, HiLightColor, Flat, Shadowed, EdgeType, State);
    }

    // 2. Content rectangle.
    platform::Rect C = F;
    const int W = F.right - F.left;
    const int H = F.bottom - F.top;
    if (DrawDropDown)
        C.right = C.right - DropDownWidth + 1;

    // 3. Glyph cell.
    const bool hasGlyph = Glyph && !Glyph->isNull() && Glyph->width() > 0 && NumGlyphs > 0;
    const int GW = hasGlyph ? Glyph->width() / NumGlyphs : 0;
    int cell = 0;
    switch (State) {
    case fstHot: cell = NumGlyphs > 2 ? 2 * GW : 0; break;
    case fstDown: cell = NumGlyphs > 3 ? 3 * GW : NumGlyphs > 2 ? 2 * GW : 0; break;
    case fstDisabled: cell = NumGlyphs > 1 ? GW : 0; break;
    case fstNormal: cell = Focused && NumGlyphs > 4 ? 4 * GW : 0; break;
    }

    // 4. Layout.
    QString caption = Caption;
    int TW = 0;
    int glyphX = 0, glyphY = 0;
    if (hasGlyph) {
        if (!caption.isEmpty()) {
            TW = Canvas.textWidth(caption) + GW + 6;
            if (W - 5 - DropDownWidth < TW) {
                TW = W - 5 - DropDownWidth;
                QString shortened;
                ShortenCaption(caption, Canvas, W - 8 - DropDownWidth - GW, shortened);
                caption = shortened;
            }
            if (GlyphRight) {
                glyphX = C.left + (C.right - C.left) / 2 + TW / 2 - GW;
                C.right = Canvas.textWidth(caption) + W / 2 - TW / 2;
            } else {
                glyphX = C.left + (C.right - C.left) / 2 - TW / 2;
                C.left = glyphX + GW + 6;
            }
            glyphY = C.top + H / 2 - Glyph->height() / 2;
            ++C.top;
            --C.bottom;
        } else {
            glyphX = C.left + (C.right - C.left) / 2 - GW / 2;
            glyphY = C.top + H / 2 - Glyph->height() / 2;
        }
    }

    // 5. Caption, pass by pass; colour changes carry over.
    if (!caption.isEmpty()) {
        const unsigned aligned = DT_SINGLELINE | DT_VCENTER | (GlyphRight ? DT_RIGHT : DT_LEFT);
        const auto pass = [&](int dx1, int dy1, int dx2, int dy2, int ix1, int iy1, int ix2, int iy2) {
            C = {C.left + dx1, C.top + dy1, C.right + dx1, C.bottom + dy1};
            if (TW != 0) {
                C = {C.left - ix1, C.top - iy1, C.right + ix1, C.bottom + iy1};
                drawText(Canvas, caption, C, aligned);
                C = {C.left - ix2, C.top - iy2, C.right + ix2, C.bottom + iy2};
            } else {
                drawText(Canvas, caption, C, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
            }
            C = {C.left + dx2, C.top + dy2, C.right + dx2, C.bottom + dy2};
        };
        const bool lit = State == fstHot || State == fstDown;
        if (State == fstDisabled) {
            Canvas.fontColor() = toQColor(clBtnHighlight);  // the emboss, as the glyph's
            pass(1, 1, -1, -1, -2, 0, 2, 0);
            Canvas.fontColor() = toQColor(clGrayText);
        } else if (lit && HilightMode == bhmTextShadow) {
            Canvas.fontColor() = toQColor(clBtnHighlight);
            pass(-1, -1, 1, 1, -2, 0, 2, 0);
        } else if (lit && HilightMode == bhmTextGrey) {
            Canvas.fontColor() = toQColor(clGrayText);
            const int back = State == fstHot ? -2 : 0;
            pass(0, 0, back, back, -2, 0, 2, 0);
        }
        if (Focused)
            Canvas.fontColor() = toQColor(TextColor);
        pass(GlyphRight && State == fstDown ? 1 : 0, 0, 0, 0, -2, 0, 0, 0);
    }

    // 6. Focus lines.
    if (Focused && DrawFocus) {
        setPen(Canvas, clHighlight);
        const int k = Flat || State == fstDown ? 1 : 0;
        line(Canvas, F.left + 2, F.bottom - 1 - k, F.right - 2, F.bottom - 1 - k);
        line(Canvas, F.left + 2, F.bottom - 2 - k, F.right - 2, F.bottom - 2 - k);
        setPen(Canvas, clBlack);
    }

    // 7. Glyph.
    if (hasGlyph) {
        if (NumGlyphs == 1 && State == fstDisabled) {
            drawStateDisabled(Canvas, glyphX, glyphY, *Glyph, GW);
        } else {
            const QImage work = Glyph->copy(cell, 0, GW, Glyph->height());
            if (State == fstHot && HilightMode == bhmGlyphShadow)
                drawStateMono(Canvas, glyphX + 1, glyphY + 1, work, clStockGray);
            int d = 0;
            if (State == fstDown && HilightMode != bhmGlyphShadow && (W >= 20 || H >= 20))
                d = 1;
            else if (State == fstHot && HilightMode == bhmGlyphShadow)
                d = -1;
            drawTransparent(Canvas, glyphX + d, glyphY + d, work);
        }
    }

    // 8. Drop-down arrow.
    if (DrawDropDown) {
        const bool disabled = State == fstDisabled;
        const platform::Color arrow = disabled ? clBtnShadow : clBtnText;
        setSolidBrush(Canvas, arrow);
        setPen(Canvas, arrow);
        const int p = DropDownPressed && !disabled ? 1 : 0;
        const int cy = (F.top + F.bottom) / 2 + p;
        const int h = DropDownWidth / 2;
        polygon(Canvas,
                {QPoint(F.right - h - 3 + p, cy - 1), QPoint(F.right - h + 1 + p, cy - 1),
                 QPoint(F.right - h - 1 + p, cy + 1)});
    }
}
