#pragma once
// Two controls of the main window: a label that paints its caption in
// relief, and a splitter bar that resizes the control aligned next to it.

#include "platform/AlignedPanel.h"
#include "platform/Color.h"

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QPainter;

// ---- 3-D label --------------------------------------------------------------

enum TTextStyle : uint8_t {
    tsNone = 0,
    tsRaised = 1,
    tsSunken = 2,
    tsCombi1 = 3,
    tsCombi2 = 4,
    tsCombi3 = 5,
    tsCombi4 = 6
};

class Tkx3DLabel : public QLabel {
    Q_OBJECT

public:
    explicit Tkx3DLabel(QWidget* parent = nullptr);

    TTextStyle TextStyle() const { return FTextStyle; }
    void SetTextStyle(TTextStyle Value);
    // The label's background is left to its parent.
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);
    // "&" marks the accelerator character instead of showing itself.
    bool ShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool Value);
    // The colour depth the combined styles shade for; the screen's unless set.
    void SetScreenBitsSource(std::function<int()> Source) { FScreenBits = std::move(Source); }

    // Paints the label into any device (the paint event uses it).
    void PaintTo(QPainter& Painter);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawStyledText(QPainter& Painter, const QRect& R, int Flags);

    TTextStyle FTextStyle = tsRaised;
    bool FTransparent = false;
    bool FShowAccelChar = true;
    std::function<int()> FScreenBits;
};

// ---- Splitter ---------------------------------------------------------------

enum TResizeStyle : uint8_t { rsNone = 0, rsLine = 1, rsUpdate = 2, rsPattern = 3 };

using TCanResizeEvent = std::function<void(QObject* Sender, int& NewSize, bool& Accept)>;
using TSplitterNotifyEvent = std::function<void(QObject* Sender)>;

class TSizeLine;

class TkxSplitter : public QWidget {
    Q_OBJECT

public:
    explicit TkxSplitter(QWidget* parent = nullptr);
    ~TkxSplitter() override;

    platform::Align Align() const { return platform::alignOf(this); }
    // Aligns the bar; a splitter cursor turns to the one of the new direction.
    void SetAlign(platform::Align Value);
    bool Beveled() const { return FBeveled; }
    void SetBeveled(bool Value);
    platform::Color Color() const { return FColor; }
    void SetColor(platform::Color Value);
    int MinSize() const { return FMinSize; }
    void SetMinSize(int Value);  // 1 or more
    TResizeStyle ResizeStyle() const { return FResizeStyle; }
    void SetResizeStyle(TResizeStyle Value) { FResizeStyle = Value; }
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);

    TCanResizeEvent OnCanResize;
    TSplitterNotifyEvent OnMoved;
    TSplitterNotifyEvent OnPaint;

    // The state of a drag, for those who watch it.
    QWidget* SizedControl() const { return FControl; }
    bool LineVisible() const { return FLineVisible; }
    // The rectangle of the size line in the parent's coordinates.
    QRect LineRect() const;
    int MaxSize() const { return FMaxSize; }

    // The neighbour a drag would resize: the first visible, enabled control
    // of the parent that holds the point just outside the aligned side.
    QWidget* FindSizedControl() const;
    // Paints the bar into any device (the paint event uses it).
    void PaintTo(QPainter& Painter);

protected:
    virtual bool FireCanResize(int& NewSize);
    virtual bool CanResizeTo(int& NewSize);
    virtual void EndSizing();

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CalcNewSize(int X, int Y, int& Split, int& NewSize) const;
    void ApplyNewSize();
    void ToggleSizeLine();
    void OpenLineDC();
    void CloseLineDC();
    void DrawGripDot(QPainter& Painter, int x, int y);

    QPointer<QWidget> FActiveControl;  // whose keys are watched for Escape
    bool FBeveled = false;
    QPointer<QWidget> FControl;
    QPoint FDownPos;
    std::unique_ptr<TSizeLine> FLine;  // the inverted line over the parent
    bool FLineVisible = false;
    int FMinSize = 30;
    int FMaxSize = 0;
    int FNewSize = 0;
    int FOldSize = -1;
    TResizeStyle FResizeStyle = rsPattern;
    int FSplit = 0;
    bool FTransparent = true;
    platform::Color FColor = 0;
};
