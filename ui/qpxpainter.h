// The picture of a layered window, kept between redraw ticks: the tree is drawn again only
// after something may have changed it, and every tick puts the picture on the window.
#pragma once

#include <windows.h>

#include <memory>

#include "qpxdraw.h"
#include "qpxuiobject.h"

namespace QPXUE {

// The tree changes only in answer to the window's messages (input, holders, actions, the
// animation, progress and caret timers) or before its first picture; the redraw tick itself
// changes nothing. So a tick after which no other message came shows the kept picture, and
// one after only an animation's timer draws that animation's area again.
class LayeredPainter {
public:
    // Every message the window handles but the redraw tick and an animation's own timer
    // (NoticeArea tells what that changed): the whole picture is stale.
    void Notice(UINT message, WPARAM wParam);
    // An animation's timer changed `area` (client coordinates) of the picture and no more.
    void NoticeArea(const RECT& area);
    // One redraw tick: draw `root` (none: a transparent picture) into a new surface the
    // window's size when the kept picture is stale or another size, or only the changed area
    // into the kept picture; then UpdateLayeredWindow.
    void Paint(HWND window, IQPXBaseUIObject* root);
    // The kept picture; null before the first Paint.
    const Surface* Picture() const { return picture_.get(); }

private:
    // Draws the changed area of the kept picture again; `drawn`: the part of the window it
    // drew, left as it was when the area lies outside the window.
    void RedrawArea(IQPXBaseUIObject* root, RECT& drawn);

    std::unique_ptr<Surface> picture_;
    bool stale_ = true;
    RECT changed_{};  // stale part of the kept picture, while the whole is not stale
};

}  // namespace QPXUE
