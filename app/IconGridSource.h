#pragma once
// What the save routines read of the main window's grid and state, so that
// they run against the grid widget or, in tests, against a fake.

#include "platform/Icon.h"

class QPainter;

class TIconGridSource {
public:
    virtual ~TIconGridSource() = default;
    virtual int Count() const = 0;
    virtual const platform::Icon& GetIcon(int Index) const = 0;  // platform::ListIndexError outside
    virtual int ColCount() const = 0;
    virtual int ColWidth() const = 0;
    virtual int Height() const = 0;  // the grid control's height
    virtual int ItemWidth() const = 0;
    virtual int ItemHeight() const = 0;
    virtual void DrawAll(QPainter& Painter) const = 0;  // every icon at its grid position
};
