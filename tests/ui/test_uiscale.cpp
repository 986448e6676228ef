// The UI engine at display scales other than 100 %: layouts in 96-DPI pixels drawn in the
// window's, images from their 150 % and 200 % resources, a tree laid out anew at a new DPI.
#include <gtest/gtest.h>

#include <string>

#include "qpxanimation.h"
#include "qpxcontrols.h"
#include "qpxdialogframe.h"
#include "qpxlayout.h"
#include "qpxrun.h"
#include "qpxscriptengine.h"
#include "qpxtextbox.h"
#include "uitestsupport.h"

using namespace QPXUE;
using namespace uitest;

namespace {

constexpr UINT kDouble = 192, kHalfAgain = 144, kQuarterMore = 120, kTwoAndAHalf = 240;

const wchar_t kControls[] =
    L"<Container rect='0,0,200,150'>"
    L"<Button name='B' rect='10,10,20,20' resId='410' type='PNG'/>"
    L"<Button name='P' rect='40,10,60,30' resId='401' type='PNG'/>"
    L"<CheckBox name='C' rect='10,40,120,56' rectChk='10,40,26,56' rectLbl='30,40,120,56' resId='402' type='PNG'"
    L" color='0,0,0' size='10'>Label</CheckBox>"
    L"<TextBox name='T' rect='10,70,130,100' clrect='12,70,128,100' resId='403' type='PNG' color='0,0,0'>"
    L"C:\\Apps</TextBox>"
    L"<Label name='L' rect='10,110,190,140' color='0,0,0' size='12'>Scaled</Label>"
    L"<Progress name='G' rect='10,140,190,145' resId='406' type='PNG'>"
    L"<Front rect='10,140,190,150' spl='5' spr='5' resId='407' type='PNG'/></Progress>"
    L"<Carousel name='S' rect='140,10,190,35' resId='405' type='PNG' framecount='2'/>"
    L"</Container>";

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

// Rows of the rendering in [top, bottom) that hold any pixel of text drawn in `rect`.
int InkRows(const Rendered& rendered, const RECT& rect) {
    int rows = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            if (rendered.Alpha(x, y) == 0) continue;
            ++rows;
            break;
        }
    }
    return rows;
}

// The checkerboard of `colour` and white that the 200 % image of the scaled strip shows.
void ExpectCheckers(const Rendered& rendered, int left, int top, int size, uint32_t colour) {
    for (int y = top; y < top + size; ++y)
        for (int x = left; x < left + size; ++x)
            ASSERT_EQ(rendered.Rgb(x, y), (x - left + y - top) % 2 == 0 ? colour : kWhite) << x << "," << y;
}

void Hover(IQPXBaseUIObject& root, int x, int y) {
    BOOL handled = FALSE;
    root.OnMouseMove(WM_MOUSEMOVE, 0, At(x, y), handled);
}

}  // namespace

TEST(UiScale, ATreeAtTwiceTheDpiIsTwiceAsLargeAndIsHitWhereItIsDrawn) {
    RecordingWindow window;
    ContainerUIObjectImpl* plain = Build(window.Handle(), kControls);
    ASSERT_NE(plain, nullptr);
    const Rendered small = Render(*plain, 200, 150);
    const RECT smallLabel = plain->FindControl(L"L")->GetRect();
    ContainerUIObjectImpl* root = Build(window.Handle(), kControls, DisplayScale(kDouble));
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(SameRect(root->GetRect(), RECT{0, 0, 400, 300}));
    EXPECT_TRUE(SameRect(root->FindControl(L"P")->GetRect(), RECT{80, 20, 120, 60}));
    auto* box = Control<TextBoxUIObjectImpl>(root, L"T");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(SameRect(box->GetClientRect(), RECT{24, 140, 256, 200}));

    // A strip without an image for the scale is the 100 % one scaled frame by frame: each frame
    // fills the button's rect in its own colour to its edges.
    Rendered big = Render(*root, 400, 300);
    for (int x : {80, 119}) EXPECT_EQ(big.Rgb(x, 40), kFrames[0]) << x;
    Hover(*root, 118, 58);  // inside at twice the scale; outside at 100 %
    big = Render(*root, 400, 300);
    for (int x : {80, 119}) EXPECT_EQ(big.Rgb(x, 40), kFrames[1]) << x;
    Hover(*root, 79, 40);
    EXPECT_EQ(Render(*root, 400, 300).Rgb(100, 40), kFrames[0]);

    // The check box's frames fill its check rect; the text is drawn about twice as high.
    EXPECT_EQ(big.Rgb(20 + 15, 80 + 15), kFrames[0]);
    const int smallInk = InkRows(small, smallLabel);
    const int bigInk = InkRows(big, root->FindControl(L"L")->GetRect());
    EXPECT_GT(smallInk, 0);
    EXPECT_NEAR(bigInk, 2 * smallInk, 3) << smallInk;
    DestroyLayout(window.Handle());
}

TEST(UiScale, PicturesComeFromTheImageNearestAtOrAboveTheScale) {
    RecordingWindow window;
    const wchar_t xml[] =
        L"<Container rect='0,0,40,40'><Button name='B' rect='10,10,20,20' resId='410' type='PNG'/></Container>";
    // 100 %: the plain image.
    EXPECT_EQ(Render(*Build(window.Handle(), xml), 40, 40).Rgb(15, 15), kFrames[0]);
    // 200 %: the 200 % image as it is, checkerboard detail and all; its hover frame too.
    ContainerUIObjectImpl* root = Build(window.Handle(), xml, DisplayScale(kDouble));
    ExpectCheckers(Render(*root, 80, 80), 20, 20, 20, kFrames[0]);
    Hover(*root, 30, 30);
    ExpectCheckers(Render(*root, 80, 80), 20, 20, 20, kFrames[1]);
    // 150 %: the 150 % image; 125 %: the same, made smaller.
    EXPECT_EQ(Render(*Build(window.Handle(), xml, DisplayScale(kHalfAgain)), 60, 60).Rgb(22, 22), kFrames[1]);
    root = Build(window.Handle(), xml, DisplayScale(kQuarterMore));
    EXPECT_TRUE(SameRect(root->FindControl(L"B")->GetRect(), RECT{13, 13, 25, 25}));
    const Rendered quarter = Render(*root, 50, 50);
    for (int x : {13, 19, 24}) EXPECT_EQ(quarter.Rgb(x, 18), kFrames[1]) << x;
    // 250 %: the largest there is, made larger: no longer a sharp checkerboard.
    root = Build(window.Handle(), xml, DisplayScale(kTwoAndAHalf));
    EXPECT_TRUE(SameRect(root->FindControl(L"B")->GetRect(), RECT{25, 25, 50, 50}));
    const Rendered larger = Render(*root, 100, 100);
    EXPECT_NE(larger.Rgb(37, 37), kFrames[0]);
    EXPECT_NE(larger.Rgb(37, 37), kWhite);
    DestroyLayout(window.Handle());
}

TEST(UiScale, ANewScaleLaysTheTreeOutAnewAndKeepsEveryState) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(), kControls);
    ASSERT_NE(root, nullptr);
    auto* check = Control<CheckBoxUIObjectImpl>(root, L"C");
    auto* box = Control<TextBoxUIObjectImpl>(root, L"T");
    auto* bar = Control<ProgressUIObjectImpl>(root, L"G");
    auto* carousel = Control<CarouselUIObjectImpl>(root, L"S");
    ASSERT_TRUE(check && box && bar && carousel);
    check->SetChecked(true);
    box->SetText(L"D:\\Typed");
    for (int i = 0; i < 30; ++i) bar->StepProgress();
    carousel->Play();
    carousel->OnTimer(carousel->GetSlideTimerIndex());
    carousel->OnTimer(carousel->GetFadeTimerIndex());
    root->FindControl(L"P")->SetVisible(false);
    const float alpha = carousel->GetAlpha();

    root->SetScale(DisplayScale(kDouble));
    EXPECT_TRUE(SameRect(root->GetRect(), RECT{0, 0, 400, 300}));
    EXPECT_TRUE(SameRect(box->GetClientRect(), RECT{24, 140, 256, 200}));
    EXPECT_TRUE(check->IsChecked());
    EXPECT_EQ(box->GetText(), L"D:\\Typed");
    EXPECT_EQ(bar->GetPosition(), 30);
    EXPECT_TRUE(carousel->IsPlaying());
    EXPECT_EQ(carousel->GetAlpha(), alpha);
    EXPECT_FALSE(root->FindControl(L"P")->IsVisible());
    const Rendered big = Render(*root, 400, 300);
    ExpectCheckers(big, 20, 20, 20, kFrames[0]);
    EXPECT_EQ(big.Rgb(35, 95), kFrames[3]);  // checked
    EXPECT_EQ(big.At(100, 40), 0u);          // the hidden button

    // Back at 100 % everything is where the layout put it, as drawn before the change.
    root->SetScale(DisplayScale());
    EXPECT_TRUE(SameRect(root->FindControl(L"B")->GetRect(), RECT{10, 10, 20, 20}));
    EXPECT_EQ(Render(*root, 200, 150).Rgb(15, 15), kFrames[0]);
    carousel->Stop();
    DestroyLayout(window.Handle());
}

// The dialog frame: its window at the scale of its DPI, its labels showing the "$global_...$"
// texts and faces they name; on WM_DPICHANGED the window takes the rect the system suggests and its tree
// the new scale, with the state of its controls as it was.
TEST(UiScale, TheDialogFrameTakesTheSuggestedRectAndKeepsItsControlsState) {
    std::wstring controls = kControls;
    controls.insert(controls.rfind(L"</Container>"),
                    L"<Label name='W' rect='140,40,190,60' font='$global_qpx_face$' bold='true'>"
                    L"$global_qpx_greeting$ $global_qpx_unset$</Label>");
    QPXScriptEngine::Instance().SetGlobalString("global_qpx_greeting", L"Welcome");
    QPXScriptEngine::Instance().SetGlobalString("global_qpx_face", L"Courier New");
    const std::wstring layoutText =
        L"<Window><Dlg name='InitDlg' width='200' height='150'>" + controls + L"</Dlg></Window>";
    const std::wstring utf16 = L"\xFEFF" + layoutText;
    pugi::xml_document layout;
    ASSERT_TRUE(ParseLayout(GetModuleHandleW(nullptr), utf16.data(), utf16.size() * sizeof(wchar_t), layout));
    QPXDialogFrame frame(FindDialog(layout, L"InitDlg"), QPXFrameTraits());
    const HWND window = frame.Create();
    ASSERT_NE(window, nullptr);
    ContainerUIObjectImpl* root = LayoutRegistry::Instance().Find(window);
    ASSERT_NE(root, nullptr);
    RECT before;
    GetWindowRect(window, &before);
    EXPECT_EQ(before.right - before.left, 200);
    EXPECT_EQ(Control<LabelUIObjectImpl>(root, L"W")->GetText(), L"Welcome $global_qpx_unset$");
    EXPECT_EQ(Control<LabelUIObjectImpl>(root, L"W")->GetFontFace(), L"Courier New");
    Control<CheckBoxUIObjectImpl>(root, L"C")->SetChecked(true);

    const RECT suggested{50, 60, 450, 360};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(kDouble, kDouble), reinterpret_cast<LPARAM>(&suggested));
    RECT after;
    GetWindowRect(window, &after);
    EXPECT_TRUE(SameRect(after, suggested));
    EXPECT_EQ(LayoutRegistry::Instance().Find(window), root);  // the same tree, laid out anew
    EXPECT_TRUE(SameRect(root->GetRect(), RECT{0, 0, 400, 300}));
    EXPECT_TRUE(Control<CheckBoxUIObjectImpl>(root, L"C")->IsChecked());
    ExpectCheckers(Render(*root, 400, 300), 20, 20, 20, kFrames[0]);
}
