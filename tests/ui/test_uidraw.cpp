// Rendering of the controls into an off-screen surface, checked pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "qpxanimation.h"
#include "qpxblend.h"
#include "qpxcontrols.h"
#include "qpxmessages.h"
#include "uitestsupport.h"

using namespace QPXUE;
using namespace uitest;

namespace {

// The largest alpha over a rectangle of the rendering.
uint32_t MaxAlpha(const Rendered& r, int left, int top, int right, int bottom) {
    uint32_t best = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) best = std::max(best, r.Alpha(x, y));
    return best;
}

}  // namespace

TEST(UiDraw, ButtonShowsOneFramePerState) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,100,100'><Button name='B' rect='10,10,30,30' resId='401' type='PNG'/></Container>");
    auto* button = Control<ButtonUIObjectImpl>(root, L"B");
    ASSERT_NE(button, nullptr);
    BOOL handled = FALSE;
    EXPECT_EQ(Render(*root).Rgb(20, 20), kFrames[0]);
    root->OnMouseMove(WM_MOUSEMOVE, 0, At(20, 20), handled);
    EXPECT_EQ(Render(*root).Rgb(20, 20), kFrames[1]);
    root->OnLButtonDown(WM_LBUTTONDOWN, 0, At(20, 20), handled);
    EXPECT_EQ(Render(*root).Rgb(20, 20), kFrames[2]);
    button->SetEnabled(false);
    const Rendered disabled = Render(*root);
    EXPECT_EQ(disabled.Rgb(20, 20), kFrames[3]);
    EXPECT_EQ(disabled.Alpha(20, 20), 255u);
    // Frames are copied 1:1: the frame's edge pixels are the frame's, not its neighbour's.
    EXPECT_EQ(disabled.Rgb(10, 10), kFrames[3]);
    EXPECT_EQ(disabled.Rgb(29, 29), kFrames[3]);
    EXPECT_EQ(disabled.At(30, 30), 0u);
    // Re-enabled under the pointer it still shows the normal frame.
    button->SetEnabled(true);
    EXPECT_EQ(Render(*root).Rgb(20, 20), kFrames[0]);
}

TEST(UiDraw, CheckBoxShowsSixFrames) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,100,100'><CheckBox name='C' rect='10,10,26,26' resId='402' type='PNG'/></Container>");
    auto* box = Control<CheckBoxUIObjectImpl>(root, L"C");
    ASSERT_NE(box, nullptr);
    BOOL handled = FALSE;
    auto frame = [&] { return Render(*root).Rgb(18, 18); };
    EXPECT_EQ(frame(), kFrames[0]);
    box->SetEnabled(false);
    EXPECT_EQ(frame(), kFrames[1]);
    box->SetEnabled(true);
    box->OnMouseMove(WM_MOUSEMOVE, 0, At(18, 18), handled);
    EXPECT_EQ(frame(), kFrames[2]);
    box->OnMouseLeave(WM_MOUSELEAVE, 0, 0, handled);
    box->SetChecked(true);
    EXPECT_EQ(frame(), kFrames[3]);
    box->SetEnabled(false);
    EXPECT_EQ(frame(), kFrames[4]);
    EXPECT_TRUE(box->IsChecked());
    box->SetEnabled(true);
    box->OnMouseMove(WM_MOUSEMOVE, 0, At(18, 18), handled);
    EXPECT_EQ(frame(), kFrames[5]);
}

TEST(UiDraw, CheckBoxWithTextDrawsBoxInCheckRectAndTextAtLabel) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,200,100'>"
        L"<CheckBox name='C' rect='10,10,150,30' rectChk='10,12,26,28' rectLbl='30,12,150,30'"
        L" color='255,255,255' size='12' resId='402' type='PNG' checked='1'>Agree</CheckBox>"
        L"<CheckBox name='N' rect='10,50,150,70' rectLbl='30,52,150,70' color='255,255,255'"
        L" resId='402' type='PNG'>Text only</CheckBox></Container>");
    ASSERT_NE(root, nullptr);
    const Rendered r = Render(*root, 200, 100);
    EXPECT_EQ(r.Rgb(18, 20), kFrames[3]);
    EXPECT_EQ(r.At(28, 20), 0u);  // between box and text
    EXPECT_GT(MaxAlpha(r, 30, 12, 150, 30), 0u);
    // No check rect: no box at all, only the text.
    EXPECT_EQ(MaxAlpha(r, 0, 50, 29, 70), 0u);
    EXPECT_GT(MaxAlpha(r, 30, 52, 150, 70), 0u);
}

TEST(UiDraw, TextIsDrawnWithAlpha254AndFallsBackToSansSerif) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,300,100'>"
        L"<Label name='A' rect='0,0,300,30' color='255,255,255' size='16'>WWW Label</Label>"
        L"<Label name='F' rect='0,40,300,70' color='255,255,255' size='16' font='No Such Face'>WWW</Label>"
        L"<Label name='E' rect='0,70,300,100' color='255,255,255' size='16'></Label></Container>");
    ASSERT_NE(root, nullptr);
    const Rendered r = Render(*root, 300, 100);
    // Solid text is alpha 254, never fully opaque.
    EXPECT_EQ(MaxAlpha(r, 0, 0, 300, 30), 254u);
    EXPECT_EQ(MaxAlpha(r, 0, 40, 300, 70), 254u);
    EXPECT_EQ(MaxAlpha(r, 0, 70, 300, 100), 0u);
    bool white = false;
    for (int x = 0; x < 300; ++x)
        for (int y = 0; y < 30; ++y) white |= r.At(x, y) == 0xFEFEFEFEu || r.At(x, y) == 0xFEFFFFFFu;
    EXPECT_TRUE(white);
}

TEST(UiDraw, CentredLabelPutsTextOfAnyLengthInTheMiddleOfItsRect) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,300,90'>"
        L"<Label rect='100,0,300,30' color='255,255,255' size='14'>Install</Label>"
        L"<Label rect='100,30,300,60' color='255,255,255' size='14' align='center'>Install</Label>"
        L"<Label rect='100,60,300,90' color='255,255,255' size='14' align='center'>Install it now</Label>"
        L"</Container>");
    ASSERT_NE(root, nullptr);
    const Rendered r = Render(*root, 300, 90);
    // The first and last columns with ink in a row band.
    struct Ink { int first = -1, last = -1; };
    auto ink = [&](int top) {
        Ink found;
        for (int x = 0; x < 300; ++x)
            for (int y = top; y < top + 30; ++y)
                if (r.Alpha(x, y) != 0) {
                    if (found.first < 0) found.first = x;
                    found.last = x;
                }
        return found;
    };
    const auto left = ink(0), centred = ink(30), longer = ink(60);
    ASSERT_GE(left.first, 100);
    EXPECT_LT(left.first, 110);
    // Both centred texts sit about the rect's middle, 200, whatever their length.
    EXPECT_NEAR((centred.first + centred.last) / 2.0, 200, 3);
    EXPECT_NEAR((longer.first + longer.last) / 2.0, 200, 3);
    EXPECT_GT(centred.first, left.first + 20);
    EXPECT_LT(longer.first, centred.first);
}

TEST(UiDraw, ContainerClipsItsControlsUnlessItHasChildContainers) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,300,200'>"
        L"<Container name='Leaf' rect='0,0,100,100' resId='404' type='PNG'>"
        L"  <Button name='B' rect='90,90,150,110' resId='408' type='PNG'/></Container>"
        L"<Container name='Parent' rect='150,0,250,100'>"
        L"  <Container name='Inner' rect='150,0,200,50'/>"
        L"  <Button name='B' rect='240,90,300,110' resId='408' type='PNG'/></Container>"
        L"</Container>");
    ASSERT_NE(root, nullptr);
    const Rendered r = Render(*root, 300, 200);
    EXPECT_EQ(r.Rgb(50, 50), kBackgroundColour);
    EXPECT_EQ(r.Rgb(95, 95), kFrames[0]);
    EXPECT_EQ(r.At(105, 95), 0u);   // outside its container: clipped
    EXPECT_EQ(r.At(95, 105), 0u);
    // The child container reset the clip, so the parent's own control draws unclipped.
    EXPECT_EQ(r.Rgb(245, 95), kFrames[0]);
    EXPECT_EQ(r.Rgb(290, 105), kFrames[0]);
    // An invisible container draws nothing of its own or of its children.
    root->FindContainer(L"Leaf")->SetVisible(false);
    EXPECT_EQ(Render(*root, 300, 200).At(50, 50), 0u);
}

TEST(UiDraw, CarouselCrossFadesOverEightTicks) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,100,50'><Carousel name='S' rect='0,0,100,50' resId='405' type='PNG'"
        L" framecount='2' interval='2000'/></Container>");
    auto* carousel = Control<CarouselUIObjectImpl>(root, L"S");
    ASSERT_NE(carousel, nullptr);
    EXPECT_EQ(Render(*root, 100, 50).At(50, 25), 0xFFFF0000u);
    carousel->Play();
    EXPECT_NEAR(carousel->GetFadeStep(), 0.13333f, 1e-4);
    carousel->OnTimer(carousel->GetSlideTimerIndex());
    for (int tick = 1; tick <= 7; ++tick) {
        carousel->OnTimer(carousel->GetFadeTimerIndex());
        const float alpha = 1.0f - tick * carousel->GetFadeStep();
        EXPECT_NEAR(carousel->GetAlpha(), alpha, 1e-4) << tick;
        // Current frame (red) at alpha, then the next (blue) at 1 - alpha over it.
        const Rendered r = Render(*root, 100, 50);
        const uint32_t pixel = r.At(50, 25);
        EXPECT_NEAR(static_cast<double>((pixel >> 16) & 0xFF), 255.0 * alpha * alpha, 4.0) << tick;
        EXPECT_NEAR(static_cast<double>(pixel & 0xFF), 255.0 * (1 - alpha), 4.0) << tick;
        EXPECT_EQ(carousel->GetCurrentFrame(), 0);
    }
    carousel->OnTimer(carousel->GetFadeTimerIndex());
    EXPECT_EQ(carousel->GetAlpha(), 1.0f);
    EXPECT_EQ(carousel->GetCurrentFrame(), 1);
    EXPECT_EQ(Render(*root, 100, 50).At(50, 25), 0xFF0000FFu);
    carousel->Stop();
}

TEST(UiDraw, ProgressFillsItsShareAndKeepsTheEndSlices) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,600,100'>"
        L"<Progress name='P' rect='20,10,580,20' resId='406' type='PNG'>"
        L"  <Front rect='20,10,580,20' resId='407' type='PNG'/></Progress>"
        L"<Progress name='S' rect='20,50,580,60' resId='406' type='PNG'>"
        L"  <Front rect='20,50,580,60' spl='5' spr='5' resId='407' type='PNG'/></Progress>"
        L"</Container>");
    auto* plain = Control<ProgressUIObjectImpl>(root, L"P");
    auto* sliced = Control<ProgressUIObjectImpl>(root, L"S");
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(sliced, nullptr);
    const uint32_t gray = 0x808080;
    EXPECT_EQ(Render(*root, 600, 100).Rgb(300, 15), gray);
    for (int i = 0; i < 50; ++i) {
        plain->StepProgress();
        sliced->StepProgress();
    }
    const Rendered r = Render(*root, 600, 100);
    // 560 wide at 50: 280 pixels of fill, the rest background.
    EXPECT_NE(r.Rgb(20, 15), gray);
    EXPECT_NE(r.Rgb(20 + 278, 15), gray);
    EXPECT_EQ(r.Rgb(20 + 281, 15), gray);
    // spl 5, spr 5: 5 red columns, 275 stretched green, the blue cap from x 299.
    EXPECT_EQ(r.Rgb(22, 55), 0xFF0000u);
    EXPECT_EQ(r.Rgb(150, 55), 0x00FF00u);
    EXPECT_EQ(r.Rgb(301, 55), 0x0000FFu);
    EXPECT_EQ(r.Rgb(310, 55), gray);
    for (int i = 0; i < 60; ++i) plain->StepProgress();
    EXPECT_EQ(plain->GetPosition(), 100);
}

TEST(UiDraw, BlendedRowsAreExactAndTheSameFourAtATime) {
    // Premultiplied pixels: every component at most the alpha, plus the extremes.
    std::vector<uint32_t> over, under;
    uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    const auto pixel = [&](uint32_t alpha) {
        uint32_t value = alpha << 24;
        for (int shift = 0; shift < 24; shift += 8) value |= (alpha == 0 ? 0 : (next() >> 8) % (alpha + 1)) << shift;
        return value;
    };
    for (uint32_t alpha : {0u, 1u, 127u, 128u, 254u, 255u}) {
        over.push_back(pixel(alpha));
        under.push_back(pixel(255 - alpha));
    }
    for (int i = 0; i < 997; ++i) {  // an odd count: the last pixels go through the tail
        over.push_back(pixel((next() >> 8) & 0xFF));
        under.push_back(pixel((next() >> 8) & 0xFF));
    }
    for (uint32_t opacity : {0u, 1u, 34u, 128u, 221u, 254u, 255u}) {
        std::vector<uint32_t> plain = under, wide = under;
        BlendRow(over.data(), plain.data(), static_cast<int>(plain.size()), opacity);
        if (IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) {
            BlendRowSse2(over.data(), wide.data(), static_cast<int>(wide.size()), opacity);
            EXPECT_EQ(plain, wide) << opacity;
        }
        for (size_t i = 0; i < over.size(); ++i) {
            // Each component: over * opacity / 255 + under * (255 - its alpha) / 255, rounded.
            const double overAlpha = std::round((over[i] >> 24) * opacity / 255.0);
            for (int shift = 0; shift < 32; shift += 8) {
                const double expected = std::min(255.0, std::round(((over[i] >> shift) & 0xFF) * opacity / 255.0) +
                                                            std::round(((under[i] >> shift) & 0xFF) *
                                                                       (255 - overAlpha) / 255.0));
                ASSERT_EQ((plain[i] >> shift) & 0xFF, expected) << i << " " << opacity << " " << shift;
            }
        }
    }
    // A fully opaque pixel at full opacity replaces what is under it; nothing over changes nothing.
    uint32_t target[2] = {0x80402010u, 0xFF00FF00u};
    const uint32_t source[2] = {0xFF123456u, 0u};
    BlendRow(source, target, 2, 255);
    EXPECT_EQ(target[0], 0xFF123456u);
    EXPECT_EQ(target[1], 0xFF00FF00u);
}
