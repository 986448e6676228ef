// The picture of a layered window, kept between redraw ticks.
#include "qpxpainter.h"

#include "qpxhandle.h"
#include "qpxmessages.h"

namespace QPXUE {

void LayeredPainter::Notice(UINT message, WPARAM wParam) {
    if (message != WM_TIMER || wParam != QPX_REDRAW_TIMER) stale_ = true;
}

void LayeredPainter::Paint(HWND window, IQPXBaseUIObject* root) {
    RECT bounds;
    GetWindowRect(window, &bounds);
    SIZE size{bounds.right - bounds.left, bounds.bottom - bounds.top};
    const bool redraw = stale_ || !picture_ || picture_->Width() != size.cx || picture_->Height() != size.cy;
    if (redraw) {
        // Cleared first: a change the drawing itself brings about makes the next tick draw.
        stale_ = false;
        auto surface = std::make_unique<Surface>(WindowDc(window).get(), size.cx, size.cy);  // transparent until drawn
        if (!surface->IsValid()) {
            picture_.reset();
            stale_ = true;
            return;
        }
        if (root != nullptr) root->Draw(surface->GetGraphics());
        surface->Flush();
        picture_ = std::move(surface);
    }
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    // The kept picture is already on the window: nothing of it is dirty.
    RECT unchanged{0, 0, 0, 0};
    UPDATELAYEREDWINDOWINFO info{sizeof(info), nullptr, nullptr, &size, picture_->GetDC(), &source, 0, &blend,
                                 ULW_ALPHA, redraw ? nullptr : &unchanged};
    UpdateLayeredWindowIndirect(window, &info);
}

}  // namespace QPXUE
