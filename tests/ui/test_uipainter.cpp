// The painter of a layered window: the picture the window gets at each redraw tick is the
// one a full repaint of the tree would give, though ticks after no message draw nothing.
#include <gtest/gtest.h>

#include "qpxanimation.h"
#include "qpxcontrols.h"
#include "qpxmessages.h"
#include "qpxpainter.h"
#include "uitestsupport.h"

using namespace QPXUE;
using namespace uitest;

namespace {

constexpr int kWidth = 300, kHeight = 120;

// Pixels of the painter's kept picture that differ from a full repaint of the tree now.
int DifferingPixels(const LayeredPainter& painter, IQPXBaseUIObject& root) {
    const Surface* picture = painter.Picture();
    if (picture == nullptr) return kWidth * kHeight;
    const Rendered fresh = Render(root, kWidth, kHeight);
    int differing = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) differing += picture->Pixel(x, y) != fresh.At(x, y);
    return differing;
}

}  // namespace

TEST(UiPainter, EveryTickShowsWhatAFullRepaintWouldThroughInputTimersAndIdleTicks) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,300,120'>"
        L"<Button name='B' rect='0,0,40,20' resId='401' type='PNG'/>"
        L"<CheckBox name='C' rect='50,0,70,20' resId='402' type='PNG'/>"
        // The show's area is drawn again alone, cut to its container, which shows only a part
        // of it: a container's picture lies under it and a label's text crosses its edges.
        L"<Container rect='90,0,250,60' resId='406' type='PNG'>"
        L"<Carousel name='S' rect='80,0,200,70' resId='405' type='PNG' framecount='2' interval='2000'/>"
        L"<Label name='L' rect='80,30,300,60' color='255,255,255' size='16'>WWW over the show</Label>"
        L"</Container>"
        L"<Progress name='P' rect='0,100,300,110' resId='406' type='PNG'>"
        L"<Front rect='0,102,300,114' resId='407' type='PNG'/></Progress>"
        L"</Container>");
    auto* carousel = root == nullptr || root->GetContainers().empty()
                         ? nullptr
                         : Control<CarouselUIObjectImpl>(root->GetContainers().front().get(), L"S");
    auto* progress = Control<ProgressUIObjectImpl>(root, L"P");
    ASSERT_NE(carousel, nullptr);
    ASSERT_NE(progress, nullptr);
    carousel->Play();

    LayeredPainter painter;
    BOOL handled = FALSE;
    // What the dialog frame does with each message: the painter notices it, the tree gets it.
    const auto mouse = [&](UINT message, int x, int y) {
        painter.Notice(message, 0);
        if (message == WM_MOUSEMOVE) root->OnMouseMove(message, 0, At(x, y), handled);
        if (message == WM_LBUTTONDOWN) root->OnLButtonDown(message, 0, At(x, y), handled);
        if (message == WM_LBUTTONUP) root->OnLButtonUp(message, 0, At(x, y), handled);
        if (message == WM_MOUSELEAVE) root->OnMouseLeave(message, 0, 0, handled);
    };
    // An animation's timer: only its area is drawn again.
    const auto animationTimer = [&](UINT index) {
        carousel->OnTimer(index);
        RECT area = carousel->AnimatedArea();
        root->CutToShown(*carousel, area);
        painter.NoticeArea(area);
    };
    // A progress step, as the progress dialog tells it: only the bar's area.
    const auto progressTimer = [&] {
        painter.NoticeArea(progress->DrawnArea());
        progress->StepProgress();
    };
    int tick = 0;
    const auto redrawTick = [&] {
        painter.Notice(WM_TIMER, QPX_REDRAW_TIMER);
        painter.Paint(window.Handle(), root);
        EXPECT_EQ(DifferingPixels(painter, *root), 0) << "tick " << tick;
        ++tick;
    };

    redrawTick();
    redrawTick();
    mouse(WM_MOUSEMOVE, 10, 10);  // hover
    redrawTick();
    mouse(WM_LBUTTONDOWN, 10, 10);
    redrawTick();
    mouse(WM_LBUTTONUP, 10, 10);
    mouse(WM_MOUSEMOVE, 60, 10);
    redrawTick();
    mouse(WM_LBUTTONDOWN, 60, 10);  // the check box turns
    mouse(WM_LBUTTONUP, 60, 10);
    redrawTick();
    mouse(WM_MOUSELEAVE, 0, 0);
    redrawTick();
    animationTimer(carousel->GetSlideTimerIndex());
    for (int fade = 0; fade < 8; ++fade) {  // a whole cross-fade, one step per tick
        animationTimer(carousel->GetFadeTimerIndex());
        if (fade % 2 == 0) progressTimer();
        redrawTick();
    }
    for (int step = 0; step < 5; ++step) {
        progressTimer();
        redrawTick();
    }
    redrawTick();
    redrawTick();

    // A tick after no message shows the kept picture: a change made behind the window's back
    // stays unseen until a message comes.
    for (int step = 0; step < 50; ++step) progress->StepProgress();
    painter.Notice(WM_TIMER, QPX_REDRAW_TIMER);
    painter.Paint(window.Handle(), root);
    EXPECT_GT(DifferingPixels(painter, *root), 0);
    painter.Notice(WM_TIMER, QPX_PROGRESS_TIMER);
    redrawTick();
    carousel->Stop();
}
