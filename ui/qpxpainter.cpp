// The picture of a layered window, kept between redraw ticks.
#include "qpxpainter.h"

#include <algorithm>

#include "qpxhandle.h"
#include "qpxmessages.h"

namespace QPXUE {

void LayeredPainter::Notice(UINT message, WPARAM wParam) {
    if (message != WM_TIMER || wParam != QPX_REDRAW_TIMER) stale_ = true;
}

void LayeredPainter::NoticeArea(const RECT& area) { UnionRect(&changed_, &changed_, &area); }

void LayeredPainter::RedrawArea(IQPXBaseUIObject* root, RECT& drawn) {
    const RECT whole{0, 0, picture_->Width(), picture_->Height()};
    RECT area;
    const bool inside = IntersectRect(&area, &changed_, &whole) != FALSE;
    SetRectEmpty(&changed_);
    if (!inside) return;
    // The tree draws on a transparent picture: the area becomes transparent again first.
    GdiFlush();
    for (int y = area.top; y < area.bottom; ++y)
        std::fill(picture_->Row(y) + area.left, picture_->Row(y) + area.right, 0u);
    const PaintArea limit(area);
    Gdiplus::Graphics& graphics = picture_->GetGraphics();
    PaintArea::Unclip(graphics);
    if (root != nullptr) root->Draw(graphics);
    graphics.ResetClip();
    picture_->Flush();
    drawn = area;
}

void LayeredPainter::Paint(HWND window, IQPXBaseUIObject* root) {
    RECT bounds;
    GetWindowRect(window, &bounds);
    SIZE size{bounds.right - bounds.left, bounds.bottom - bounds.top};
    const bool redraw = stale_ || !picture_ || picture_->Width() != size.cx || picture_->Height() != size.cy;
    // What the window gets anew: all of it, the changed area, or nothing.
    RECT dirty{0, 0, 0, 0};
    const RECT* update = &dirty;
    if (redraw) {
        // Cleared first: a change the drawing itself brings about makes the next tick draw.
        stale_ = false;
        SetRectEmpty(&changed_);
        auto surface = std::make_unique<Surface>(WindowDc(window).get(), size.cx, size.cy);  // transparent until drawn
        if (!surface->IsValid()) {
            picture_.reset();
            stale_ = true;
            return;
        }
        if (root != nullptr) root->Draw(surface->GetGraphics());
        surface->Flush();
        picture_ = std::move(surface);
        update = nullptr;
    } else if (!IsRectEmpty(&changed_)) {
        RedrawArea(root, dirty);
    }
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UPDATELAYEREDWINDOWINFO info{sizeof(info), nullptr, nullptr, &size, picture_->GetDC(), &source, 0, &blend,
                                 ULW_ALPHA, update};
    UpdateLayeredWindowIndirect(window, &info);
}

}  // namespace QPXUE
