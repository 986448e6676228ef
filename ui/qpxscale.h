// The display scale a window's tree is drawn at: layouts are written in pixels of 96 DPI, and
// every length of them becomes device pixels of the window's DPI here.
#pragma once

#include <windows.h>

#include "qpxdpi.h"

namespace QPXUE {

class DisplayScale {
public:
    explicit DisplayScale(UINT dpi = kBaseDpi) : dpi_(dpi > 0 ? dpi : kBaseDpi) {}

    UINT Dpi() const { return dpi_; }
    bool IsBase() const { return dpi_ == kBaseDpi; }
    // A length or coordinate of the layout in device pixels, rounded to the nearest.
    int Px(int units) const { return MulDiv(units, static_cast<int>(dpi_), kBaseDpi); }
    // A rect of the layout in device pixels: each edge on its own, so rects that meet still do.
    RECT Px(const RECT& rect) const { return RECT{Px(rect.left), Px(rect.top), Px(rect.right), Px(rect.bottom)}; }
    // A device length of at least one pixel per layout pixel, for hairlines such as the caret.
    int Line() const { return Px(1) > 0 ? Px(1) : 1; }

    bool operator==(const DisplayScale& other) const { return dpi_ == other.dpi_; }
    bool operator!=(const DisplayScale& other) const { return dpi_ != other.dpi_; }

private:
    UINT dpi_;
};

}  // namespace QPXUE
