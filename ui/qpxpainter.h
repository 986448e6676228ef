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
// changes nothing. So a tick after which no other message came shows the kept picture.
class LayeredPainter {
public:
    // Every message the window handles: anything but the redraw tick makes the picture stale.
    void Notice(UINT message, WPARAM wParam);
    // One redraw tick: draw `root` (none: a transparent picture) into a new surface the
    // window's size when the kept picture is stale or another size, then UpdateLayeredWindow.
    void Paint(HWND window, IQPXBaseUIObject* root);
    // The kept picture; null before the first Paint.
    const Surface* Picture() const { return picture_.get(); }

private:
    std::unique_ptr<Surface> picture_;
    bool stale_ = true;
};

}  // namespace QPXUE
