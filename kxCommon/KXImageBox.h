#pragma once
// The icon grid and the scroll box that hosts it. The grid loads the icons
// of one file, lays them out in equal cells, marks one selected cell, draws
// all its icons onto any canvas and prints them; the scroll box keeps the
// grid as wide as its viewport, scrolls it vertically, turns keys and the
// wheel into selection moves and takes dropped files.
//
// Events are std::function members (empty = not assigned), called with the
// sender first, as the toolkit's method pointers are.

#include "kxCommon/KXImageBoxLayout.h"
#include "platform/Icon.h"

#include <QScrollArea>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {
class Canvas;
class Printer;
}  // namespace platform

// isBoth behaves as isLarge everywhere.
enum TIconSizing { isLarge, isSmall, isBoth };

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent
    = std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;
using TOnSelectItemEvent = std::function<void(QObject* Sender, int Index)>;
using TCustomPaintEvent = std::function<void(QObject* Sender, platform::Canvas& Canvas)>;
// The names are whole local paths, in drop order; the point is in the
// scroll box's client (viewport) coordinates.
using TDropFilesEvent = std::function<void(QObject* Sender, int X, int Y, const QStringList& AFiles)>;

class TKXScrollBox;

class TKXImageBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
    Q_PROPERTY(QString UnableToLoadOrFindIconsMsg READ UnableToLoadOrFindIconsMsg WRITE
                   SetUnableToLoadOrFindIconsMsg)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(int Offset READ Offset WRITE SetOffset)
    Q_PROPERTY(int ItemWidth READ ItemWidth WRITE SetItemWidth)
    Q_PROPERTY(int ItemHeight READ ItemHeight WRITE SetItemHeight)
    Q_PROPERTY(bool Associated READ Associated)

public:
    // The owner is the scroll box that hosts the grid; it also becomes the
    // parent once the scroll box takes the grid as its widget.
    explicit TKXImageBox(TKXScrollBox* AOwner);
    ~TKXImageBox() override;

    int ItemIndex() const { return FItemIndex; }
    // Clamped to -1 .. Count - 1; a new row is scrolled into view and the
    // owner's OnSelectItem fires whenever the index changes.
    void SetItemIndex(int Value);
    const QString& FileName() const { return FFileName; }
    // A name that differs (case-sensitive) is stored and loaded.
    void SetFileName(const QString& Value);
    const QString& UnableToLoadOrFindIconsMsg() const { return FUnableToLoadOrFindIconsMsg; }
    void SetUnableToLoadOrFindIconsMsg(const QString& Value);
    const QString& Text() const { return FText; }
    void SetText(const QString& Value);
    int Offset() const { return FLayout.Offset(); }
    void SetOffset(int Value);
    int ItemWidth() const { return FLayout.ItemWidth(); }
    void SetItemWidth(int Value);
    int ItemHeight() const { return FLayout.ItemHeight(); }
    void SetItemHeight(int Value);
    TIconSizing IconSizing() const { return FIconSizing; }
    void SetIconSizing(TIconSizing Value);
    bool Associated() const { return FAssociated; }

    int ColWidth() const { return FLayout.ColWidth(); }
    int RowHeight() const { return FLayout.RowHeight(); }
    int ColCount() const { return FLayout.ColCount(); }
    int RowCount() const { return FLayout.RowCount(); }
    int Count() const { return static_cast<int>(FIcons.size()); }

    // Reloads the icons of FileName in the current sizing; the selection
    // goes back to -1 without an event.
    void Refresh();
    // Throws platform::ListIndexError outside 0 .. Count - 1.
    const platform::Icon& GetIcon(int Index) const;

    static int GetLargeIconWidth();
    static int GetLargeIconHeight();
    static int GetSmallIconWidth();
    static int GetSmallIconHeight();

    // Begins a document on Printer, prints the whole grid (All) or the
    // selected icon at Scale (kPrintActualSize, kPrintFitPage) and ends the
    // document. Without icons, or without a selection for a single icon,
    // nothing is printed.
    void Print(bool All, int Scale, platform::Printer& Printer);
    // Every icon at its icon position; no background, selection or text.
    void DrawAll(platform::Canvas& C);

    // The box's own mouse events; the owner's follow them.
    TMouseEvent OnMouseDown;
    TNotifyEvent OnDblClick;

    // Recomputes columns, rows and the height for the current width.
    void UpdateLayout();
    // Schedules the repaint of one cell; an index below 0 is cell 0.
    void DrawCell(int Index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void ApplySizing();
    // The icons that meet Area (all for none).
    void DrawIcons(platform::Canvas& C, const QRect* Area);
    void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void DblClick();
    QRect CellQRect(int Index) const;
    bool OwnerHasFocus() const;

    TKXScrollBox* FOwner;
    QString FFileName;
    std::vector<platform::Icon> FIcons;
    int FItemIndex = -1;
    // Item size, offset, pitch (ColWidth, RowHeight), columns and rows.
    KXImageBoxLayout::TImageBoxLayout FLayout;
    TIconSizing FIconSizing = isLarge;
    bool FAssociated = false;
    QString FUnableToLoadOrFindIconsMsg;
    QString FText;
};

class TKXScrollBox : public QScrollArea {
    Q_OBJECT

public:
    explicit TKXScrollBox(QWidget* AOwner = nullptr);
    ~TKXScrollBox() override;

    TKXImageBox* ImageBox() const { return FImageBox; }

    // Drops are accepted exactly while a handler is set.
    const TDropFilesEvent& OnDropFiles() const { return FOnDropFiles; }
    void SetOnDropFiles(TDropFilesEvent Value);
    TOnSelectItemEvent OnSelectItem;
    TCustomPaintEvent OnCustomPaint;
    TMouseEvent OnMouseDown;
    TNotifyEvent OnDblClick;

    // The scroll box's share of a press or double click on the grid.
    void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void DblClick();
    // The width the grid takes: the viewport's, less the vertical scroll
    // bar when the grid is about to need one that is not showing yet.
    void FitImageBox(bool AllowForScrollBar);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void NavigateKey(std::uint16_t& Key, Qt::KeyboardModifiers Shift);
    void AcceptDrag(QDragMoveEvent* event);
    // At is in the viewport's coordinates.
    void DropFiles(QDropEvent* event, QPoint At);

    TKXImageBox* FImageBox = nullptr;
    TDropFilesEvent FOnDropFiles;
    // Wheel angle not yet turned into a row (touchpads send small steps).
    int FWheelDelta = 0;
};
