#pragma once
// The program's buttons, all painted by the shared face painter
// (DrawButtonFace): the tool-bar button TkxSoftButton (hot tracking,
// groups of which one member stays down), TkxPopupButton (a drop-down part
// that shows a menu or a panel) and the push button TKXButton of the
// dialogs, which keeps QPushButton's keyboard, default and click
// behaviour.
//
// Events are std::function members (empty = not assigned), called with the
// sender first, as the toolkit's method pointers are.

#include "kxCommon/kxGraphicUtils.h"
#include "platform/Color.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <functional>

class QShortcut;

namespace platform {
class Canvas;
}

enum TkxButtonLayout { blGlyphLeft, blGlyphRight };
// bsExclusive: held down as a group member; bsDropDown: the drop-down part
// is being pressed.
enum TkxButtonState { bsUp, bsDisabled, bsDown, bsExclusive, bsDropDown };

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent
    = std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;
// A push button's modal result.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

using TBtnPopupEvent = std::function<void(QObject* Sender, bool& Handled)>;

// The face colour of every soft button.
inline constexpr platform::Color kSoftButtonFace = platform::rgb(0xD6, 0xD6, 0xD6);

// How many cells a glyph strip holds, guessed from its shape: a width that
// is a whole multiple of a height above 0 gives width / height when below
// 6, else 1; any other shape gives 0 (keep the count as it is).
int GuessNumGlyphs(const QImage& Glyph);

class TkxSoftButton : public QWidget {
    Q_OBJECT

public:
    explicit TkxSoftButton(QWidget* parent = nullptr);

    bool AllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool Value);
    // 0: no group; buttons of one parent with the same index form a group.
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int Value);
    bool Down() const { return FDown; }
    void SetDown(bool Value);
    // An ampersand marks the accelerator: Alt and that letter click the button.
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& Value);
    bool Shadowed() const { return FShadowed; }
    void SetShadowed(bool Value);
    bool Flat() const { return FFlat; }
    void SetFlat(bool Value);
    const QImage& Glyph() const;
    void SetGlyph(const QImage& Value);
    // A strip of NumGlyphs cells that Draw makes when the glyph is first
    // painted or asked for: a window that is never shown draws none.
    void SetGlyph(std::function<QImage()> Draw, int NumGlyphs);
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int Value);
    TkxButtonLayout Layout() const { return FLayout; }
    void SetLayout(TkxButtonLayout Value);
    TkxControlEdgeType EdgeType() const { return FEdgeType; }
    void SetEdgeType(TkxControlEdgeType Value);
    // Margin and Spacing are kept but do not change the face.
    int Margin() const { return FMargin; }
    void SetMargin(int Value);
    int Spacing() const { return FSpacing; }
    void SetSpacing(int Value);
    // Opaque buttons fill their background; transparent ones show the parent.
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);
    TkxButtonHilightMode HilightMode() const { return FHilightMode; }
    void SetHilightMode(TkxButtonHilightMode Value) { FHilightMode = Value; }

    TkxButtonState State() const { return FState; }
    bool Hot() const { return FHot; }

    virtual void Click();

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

protected:
    // The face, on a canvas the size of the button.
    virtual void Paint(platform::Canvas& Canvas);
    TkxFaceState FaceState();
    virtual void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    virtual void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    virtual void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    // 0 <= X < width and 0 <= Y <= height: the row just below still counts.
    bool Inside(int X, int Y) const;
    // Hot exactly when the pointer (at Local, else where the cursor is) is
    // over this button.
    void UpdateHotTracking(const QPoint* Local = nullptr);
    void MouseEnter();
    void MouseLeave();

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

    bool FDragging = false;
    bool FHot = false;
    TkxButtonState FState = bsUp;

private:
    void NotifyGroup();
    // Another member of the group went down or changed its group settings.
    void ButtonPressed(int Group, TkxSoftButton* Sender);
    void AcceleratorPressed();

    int FGroupIndex = 0;
    bool FDown = false;
    bool FAllowAllUp = false;
    TkxButtonLayout FLayout = blGlyphLeft;
    TkxControlEdgeType FEdgeType = efRoundRect;
    int FSpacing = 4;
    bool FShadowed = true;
    TkxButtonHilightMode FHilightMode = bhmNormal;
    bool FTransparent = true;
    int FMargin = -1;
    bool FFlat = false;
    mutable QImage FGlyph;
    mutable std::function<QImage()> FDrawGlyph;
    int FNumGlyphs = 1;
    QString FCaption;
    QShortcut* FAccelerator = nullptr;
};

class TkxPopupButton : public TkxSoftButton {
    Q_OBJECT

public:
    explicit TkxPopupButton(QWidget* parent = nullptr);

    bool DrawDropDown() const { return FDrawDropDown; }
    void SetDrawDropDown(bool Value);
    // A separate part is a button of its own: only it drops down; the main
    // part clicks.
    bool SeparateDropDown() const { return FSeparateDropDown; }
    void SetSeparateDropDown(bool Value);
    // A QMenu pops up at the button's bottom-left corner; any other widget
    // is moved there and shown; other objects are left alone. Not owned.
    QObject* DropDownComponent() const { return FDropDownComponent; }
    void SetDropDownComponent(QObject* Value) { FDropDownComponent = Value; }
    // 13 below 32 pixels of width, else 14.
    int DropDownWidth() const { return width() < 32 ? 13 : 14; }

    void Click() override;
    // Offers the drop-down to OnPopup first; shows the component unless it
    // set Handled.
    virtual void Popup();

    TBtnPopupEvent OnPopup;

protected:
    void Paint(platform::Canvas& Canvas) override;
    void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) override;
    void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y) override;
    void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) override;

private:
    bool InPart(int X, int Y) const;

    bool FDrawDropDown = true;
    bool FSeparateDropDown = false;
    QPointer<QObject> FDropDownComponent;
    bool FPopupDragging = false;
};

class TKXButton : public QPushButton {
    Q_OBJECT

public:
    explicit TKXButton(QWidget* parent = nullptr);
    explicit TKXButton(const QString& Caption, QWidget* parent = nullptr);

    const QImage& Glyph() const { return FGlyph; }
    void SetGlyph(const QImage& Value);
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int Value);
    // Kept; it does not change the face.
    bool LeftText() const { return FLeftText; }
    void SetLeftText(bool Value);
    platform::Color Color() const { return FColor; }
    void SetColor(platform::Color Value);
    platform::Color HiLightColor() const { return FHiLightColor; }
    void SetHiLightColor(platform::Color Value);
    platform::Color FocusedTextColor() const { return FFocusedTextColor; }
    void SetFocusedTextColor(platform::Color Value);
    // The focused caption in FocusedTextColor.
    bool DoFocusText() const { return FFocusText; }
    void SetDoFocusText(bool Value);
    bool Shadowed() const { return FShadowed; }
    void SetShadowed(bool Value);
    bool Flat() const { return FFlat; }
    void SetFlat(bool Value);
    bool DrawFocus() const { return FDrawFocus; }
    void SetDrawFocus(bool Value);
    TkxControlEdgeType EdgeType() const { return FEdgeType; }
    void SetEdgeType(TkxControlEdgeType Value);
    TkxButtonHilightMode HilightMode() const { return FHilightMode; }
    void SetHilightMode(TkxButtonHilightMode Value) { FHilightMode = Value; }

    // The form's default button, whose caption is bold. QPushButton's own
    // default follows the focus between buttons of a dialog (for Enter);
    // this one stays where the form put it.
    bool Default() const { return FDefault; }
    void SetDefault(bool Value);
    void setDefault(bool) = delete;  // SetDefault keeps the caption's weight right

    // Esc in the button's window clicks a cancel button.
    bool Cancel() const { return FCancelKey != nullptr; }
    void SetCancel(bool Value);
    // A click ends the button's dialog: mrOk accepts it, mrCancel rejects
    // it, any other value but mrNone ends it with done(ModalResult).
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int Value) { FModalResult = Value; }

    bool Hot() const { return FHot; }

    // Fired on every click, after the clicked() signal's other receivers.
    TNotifyEvent OnClick;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Clicked();

    bool FHot = false;
    bool FDefault = false;
    bool FLeftText = false;
    platform::Color FColor;
    platform::Color FHiLightColor;
    platform::Color FFocusedTextColor;
    bool FDrawFocus = true;
    bool FFocusText = false;
    bool FFlat = false;
    bool FShadowed = true;
    TkxButtonHilightMode FHilightMode = bhmNormal;
    TkxControlEdgeType FEdgeType = efRoundRect;
    QImage FGlyph;
    int FNumGlyphs = 1;
    QShortcut* FCancelKey = nullptr;
    int FModalResult = 0;
};
