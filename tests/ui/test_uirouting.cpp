// Routing of mouse events through containers and the messages objects send their window.
#include <gtest/gtest.h>

#include <string>

#include "qpxanimation.h"
#include "qpxcontrols.h"
#include "qpxmessages.h"
#include "uitestsupport.h"

using namespace QPXUE;
using namespace uitest;

namespace {

const wchar_t kTwoButtons[] =
    L"<Container rect='0,0,200,100'>"
    L"<Button name='A' rect='10,10,70,30' resId='408' type='PNG' action='1'/>"
    L"<Button name='B' rect='10,10,70,30' resId='408' type='PNG' action='2'/>"
    L"<Button name='C' rect='100,10,160,30' resId='408' type='PNG' action='3'/></Container>";

void Click(IQPXBaseUIObject& root, int x, int y) {
    BOOL handled = FALSE;
    root.OnLButtonDown(WM_LBUTTONDOWN, 0, At(x, y), handled);
    root.OnLButtonUp(WM_LBUTTONUP, 0, At(x, y), handled);
}

// Moves onto x, y and presses there, then moves to an empty corner and releases there.
void PressAndReleaseAway(IQPXBaseUIObject& root, int x, int y) {
    BOOL handled = FALSE;
    root.OnMouseMove(WM_MOUSEMOVE, 0, At(x, y), handled);
    root.OnLButtonDown(WM_LBUTTONDOWN, 0, At(x, y), handled);
    root.OnMouseMove(WM_MOUSEMOVE, 0, At(190, 90), handled);
    root.OnLButtonUp(WM_LBUTTONUP, 0, At(190, 90), handled);
}

LPARAM AsLParam(IQPXBaseUIObject* object) { return reinterpret_cast<LPARAM>(object); }
LPARAM AsLParam(IQPXBaseAnimationObject* object) { return reinterpret_cast<LPARAM>(object); }

}  // namespace

TEST(UiRouting, FirstAttachedWinsAndInvisibleChildrenPassTheClickOn) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(), kTwoButtons);
    ASSERT_NE(root, nullptr);
    Click(*root, 20, 20);
    ASSERT_EQ(window.Of(WM_USER + 1).size(), 1u);
    EXPECT_TRUE(window.Of(WM_USER + 2).empty());
    // Invisible A is still hit-tested but does not take the click; B, next in line, does.
    root->FindControl(L"A")->SetVisible(false);
    window.Clear();
    Click(*root, 20, 20);
    EXPECT_TRUE(window.Of(WM_USER + 1).empty());
    const auto actions = window.Of(WM_USER + 2);
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].wParam, 0u);
    EXPECT_EQ(actions[0].lParam, AsLParam(root->FindControl(L"B")));
}

TEST(UiRouting, PressLeaveReleaseSendsNothing) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(), kTwoButtons);
    ASSERT_NE(root, nullptr);
    PressAndReleaseAway(*root, 120, 20);
    BOOL handled = FALSE;
    // Coming back and releasing again finds no press mark either.
    root->OnMouseMove(WM_MOUSEMOVE, 0, At(120, 20), handled);
    root->OnLButtonUp(WM_LBUTTONUP, 0, At(120, 20), handled);
    EXPECT_TRUE(window.Of(WM_USER + 3).empty());
    auto* button = dynamic_cast<ButtonUIObjectImpl*>(root->FindControl(L"C"));
    EXPECT_EQ(button->GetState(), ButtonUIObjectImpl::kHover);
}

TEST(UiRouting, LinkLabelPressLeaveReleaseSendsNothing) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,200,100'><LinkLabel name='L' rect='10,10,90,30' action='4'>licence</LinkLabel>"
        L"<Button name='C' rect='100,10,160,30' resId='408' type='PNG' action='3'/></Container>");
    ASSERT_NE(root, nullptr);
    PressAndReleaseAway(*root, 20, 20);
    BOOL handled = FALSE;
    // A later press elsewhere released over the link must not open it.
    root->OnLButtonDown(WM_LBUTTONDOWN, 0, At(120, 20), handled);
    root->OnMouseMove(WM_MOUSEMOVE, 0, At(20, 20), handled);
    root->OnLButtonUp(WM_LBUTTONUP, 0, At(20, 20), handled);
    EXPECT_TRUE(window.Of(WM_USER + 4).empty());
    window.Clear();
    Click(*root, 20, 20);
    EXPECT_EQ(window.Of(WM_USER + 4).size(), 1u);
    // Over the link the hand cursor is set and the event handled.
    root->OnSetCursor(WM_SETCURSOR, 0, 0, 20, 20, handled);
    EXPECT_TRUE(handled);
    root->OnSetCursor(WM_SETCURSOR, 0, 0, 190, 90, handled);
    EXPECT_FALSE(handled);
}

TEST(UiRouting, EnableStatesOfContainersAndTheirChildren) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,200,100'>"
        L"<Container name='On' rect='0,0,100,100'><Button name='B' rect='10,10,70,30' resId='408' type='PNG'/></Container>"
        L"<Container name='Off' rect='100,0,200,100' enable='0'>"
        L"  <Button name='B' rect='110,10,170,30' resId='408' type='PNG' enable='1'/>"
        L"  <Container name='Inner' rect='100,50,200,100' enable='yes'/></Container></Container>");
    ASSERT_NE(root, nullptr);
    ContainerUIObjectImpl* on = root->FindContainer(L"On");
    ContainerUIObjectImpl* off = root->FindContainer(L"Off");
    // Attached to a disabled container: disabled whatever their own attribute.
    EXPECT_FALSE(off->FindControl(L"B")->IsEnabled());
    EXPECT_FALSE(off->FindContainer(L"Inner")->IsEnabled());
    // SetEnabled changes the container only; SetEnabledAll the whole subtree.
    on->SetEnabled(false);
    EXPECT_TRUE(on->FindControl(L"B")->IsEnabled());
    Click(*root, 20, 20);
    EXPECT_TRUE(window.Of(WM_USER).empty());  // a disabled container routes nothing
    off->SetEnabledAll(true);
    EXPECT_TRUE(off->FindControl(L"B")->IsEnabled());
    EXPECT_TRUE(off->FindContainer(L"Inner")->IsEnabled());
    on->SetEnabledAll(false);
    EXPECT_FALSE(on->FindControl(L"B")->IsEnabled());
    EXPECT_EQ(dynamic_cast<ButtonUIObjectImpl*>(on->FindControl(L"B"))->GetState(),
              ButtonUIObjectImpl::kDisabled);
}

TEST(UiRouting, PressGivesFocusAndRequestsGoToTheWindow) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(), kTwoButtons);
    ASSERT_NE(root, nullptr);
    IQPXBaseUIObject* c = root->FindControl(L"C");
    BOOL handled = FALSE;
    root->OnLButtonDown(WM_LBUTTONDOWN, 0, At(120, 20), handled);
    EXPECT_TRUE(handled);
    auto focus = window.Of(QPXUM_SETFOCUS);
    ASSERT_EQ(focus.size(), 1u);
    EXPECT_EQ(focus[0].wParam, 0u);
    EXPECT_EQ(focus[0].lParam, AsLParam(c));
    c->SetCapture();
    c->ReleaseCapture();
    c->KillFocus();
    ASSERT_EQ(window.Of(QPXUM_SETCAPTURE).size(), 1u);
    EXPECT_EQ(window.Of(QPXUM_SETCAPTURE)[0].lParam, AsLParam(c));
    EXPECT_EQ(window.Of(QPXUM_RELEASECAPTURE).size(), 1u);
    EXPECT_EQ(window.Of(QPXUM_KILLFOCUS).size(), 1u);
    // Disabling gives the focus up first; a disabled control asks for nothing.
    window.Clear();
    c->SetEnabled(false);
    EXPECT_EQ(window.Of(QPXUM_KILLFOCUS).size(), 1u);
    c->SetFocus();
    c->SetCapture();
    EXPECT_TRUE(window.Of(QPXUM_SETFOCUS).empty());
    EXPECT_TRUE(window.Of(QPXUM_SETCAPTURE).empty());
    // A press outside every child reaches nobody.
    root->OnLButtonDown(WM_LBUTTONDOWN, 0, At(190, 90), handled);
    EXPECT_FALSE(handled);
}

TEST(UiRouting, CheckBoxSendsItsNewStateAndCaptionStartsDragging) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,200,100'><CaptionContainer name='H' rect='0,0,200,50'>"
        L"<CheckBox name='K' rect='10,10,26,26' resId='402' type='PNG' checked='true' action='7'/>"
        L"</CaptionContainer></Container>");
    ASSERT_NE(root, nullptr);
    auto* box = dynamic_cast<CheckBoxUIObjectImpl*>(root->FindContainer(L"H")->FindControl(L"K"));
    ASSERT_NE(box, nullptr);
    BOOL handled = FALSE;
    root->OnMouseMove(WM_MOUSEMOVE, 0, At(15, 15), handled);
    Click(*root, 15, 15);
    auto actions = window.Of(WM_USER + 7);
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].wParam, 0u);
    EXPECT_EQ(box->GetState(), CheckBoxUIObjectImpl::kUncheckedHover);
    Click(*root, 15, 15);
    EXPECT_EQ(window.Of(WM_USER + 7).back().wParam, 1u);
    // A press on the caption's free area posts the caption drag to the window.
    root->OnLButtonDown(WM_LBUTTONDOWN, 0, At(100, 30), handled);
    EXPECT_TRUE(handled);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, window.Handle(), WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(HTCAPTION));
    EXPECT_EQ(msg.lParam, At(100, 30));
}

TEST(UiRouting, CarouselAsksForItsTimers) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,100,50'>"
        L"<Carousel name='S' rect='0,0,100,50' resId='405' type='PNG' framecount='2' interval='2000'/>"
        L"<Carousel name='T' rect='0,0,100,50' resId='405' type='PNG' framecount='1' interval='70000' fadeinterval='66'/>"
        L"</Container>");
    auto* s = Control<CarouselUIObjectImpl>(root, L"S");
    auto* t = Control<CarouselUIObjectImpl>(root, L"T");
    ASSERT_NE(s, nullptr);
    ASSERT_NE(t, nullptr);
    // Each carousel takes two consecutive indices, the slide timer first.
    EXPECT_EQ(s->GetFadeTimerIndex(), s->GetSlideTimerIndex() + 1u);
    EXPECT_EQ(t->GetSlideTimerIndex(), s->GetFadeTimerIndex() + 1u);
    IQPXBaseAnimationObject* sa = s;
    s->Play();
    s->Play();  // already playing: nothing
    auto set = window.Of(QPXUM_SETANIMATIONTIMER);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].wParam, (2000u << 16) | s->GetSlideTimerIndex());
    EXPECT_EQ(set[0].lParam, AsLParam(sa));
    s->OnTimer(s->GetSlideTimerIndex());
    EXPECT_EQ(window.Of(QPXUM_SETANIMATIONTIMER).back().wParam, (66u << 16) | s->GetFadeTimerIndex());
    s->OnTimer(999);  // not its timer
    EXPECT_EQ(window.Of(QPXUM_SETANIMATIONTIMER).size(), 2u);
    s->Stop();
    auto kill = window.Of(QPXUM_KILLANIMATIONTIMER);
    ASSERT_EQ(kill.size(), 2u);
    EXPECT_EQ(kill[0].wParam, s->GetFadeTimerIndex());
    EXPECT_EQ(kill[1].wParam, s->GetSlideTimerIndex());
    s->Stop();
    EXPECT_EQ(window.Of(QPXUM_KILLANIMATIONTIMER).size(), 2u);
    // Period above 65535 keeps its low 16 bits; a 66 ms fade ends after one tick, and one
    // frame fades into itself.
    window.Clear();
    t->Play();
    EXPECT_EQ(window.Messages().back().wParam, ((70000u & 0xFFFF) << 16) | t->GetSlideTimerIndex());
    t->OnTimer(t->GetSlideTimerIndex());
    t->OnTimer(t->GetFadeTimerIndex());
    EXPECT_EQ(t->GetAlpha(), 1.0f);
    EXPECT_EQ(t->GetCurrentFrame(), 0);
    EXPECT_EQ(window.Messages().back().msg, QPXUM_KILLANIMATIONTIMER);
    t->Stop();
}

// Each window's tree counts its carousels' timers from 0: however many carousels other windows
// have, none of them runs on another timer of the window (the progress bar's above them all).
TEST(UiRouting, CarouselTimersAreCountedPerWindowBelowTheProgressTimer) {
    const auto carousels = [](int count) {
        std::wstring xml = L"<Container rect='0,0,100,50'>";
        for (int i = 0; i < count; ++i)
            xml += L"<Carousel name='S" + std::to_wstring(i) + L"' rect='0,0,100,50' resId='405' type='PNG'/>";
        return xml + L"</Container>";
    };
    const UINT perWindow = (QPX_ANIMATION_INDEX_LAST + 1) / 2;
    RecordingWindow full;
    ContainerUIObjectImpl* many = Build(full.Handle(), carousels(static_cast<int>(perWindow)).c_str());
    ASSERT_NE(many, nullptr);
    const auto* last = Control<CarouselUIObjectImpl>(many, (L"S" + std::to_wstring(perWindow - 1)).c_str());
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->GetFadeTimerIndex(), QPX_ANIMATION_INDEX_LAST);
    EXPECT_LT(QPX_ANIMATION_TIMER_BASE + last->GetFadeTimerIndex(), QPX_PROGRESS_TIMER);

    RecordingWindow next;
    ContainerUIObjectImpl* one = Build(next.Handle(), carousels(1).c_str());
    const auto* first = Control<CarouselUIObjectImpl>(one, L"S0");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetSlideTimerIndex(), 0u);
    EXPECT_EQ(first->GetFadeTimerIndex(), 1u);
    // One more than a window has timers for is refused like any other broken layout.
    RecordingWindow tooMany;
    EXPECT_EQ(Build(tooMany.Handle(), carousels(static_cast<int>(perWindow) + 1).c_str()), nullptr);
}
