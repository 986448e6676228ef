// The text box: its rich-edit host, typing through forwarded messages, frames and caret.
#include <gtest/gtest.h>

#include <ole2.h>

#include <algorithm>
#include <string>

#include "qpxmessages.h"
#include "qpxdroptarget.h"
#include "qpxlayout.h"
#include "qpxtextbox.h"
#include "uitestsupport.h"

using namespace QPXUE;
using namespace uitest;

namespace {

TextBoxUIObjectImpl* BuildBox(RecordingWindow& window, const wchar_t* extra) {
    std::wstring xml = L"<Container rect='0,0,320,240'><TextBox name='T' rect='10,10,130,40'"
                       L" clrect='12,10,128,40' resId='403' type='PNG' ";
    xml += extra;
    xml += L"</Container>";
    ContainerUIObjectImpl* root = Build(window.Handle(), xml.c_str());
    return root == nullptr ? nullptr : dynamic_cast<TextBoxUIObjectImpl*>(root->FindControl(L"T"));
}

void Type(TextBoxUIObjectImpl& box, const std::wstring& text) {
    for (wchar_t ch : text) box.OnMessage(WM_CHAR, ch, 1);
}

// A drop target that takes nothing: registering it tells whether the window has one already.
class RefusingDropTarget : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_IDropTarget ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
};

// What registering a drop target says of the window, leaving it as it was: S_OK when it had
// none, DRAGDROP_E_ALREADYREGISTERED when it has one, an error when OLE was not started.
HRESULT ProbeDropTarget(HWND window) {
    RefusingDropTarget probe;
    const HRESULT result = RegisterDragDrop(window, &probe);
    if (SUCCEEDED(result)) RevokeDragDrop(window);
    return result;
}

}  // namespace

// The platform is the installer's own (see uitestsupport.cpp): it starts OLE, which a box's
// drop target needs, and a hidden box neither draws its caret nor takes input or drops.
// (Wine's text services offer no drop target: there the box never has one.)
TEST(UiTextBox, TakesDropsWhileShownAndNothingWhileHidden) {
    RecordingWindow window;
    ASSERT_EQ(ProbeDropTarget(window.Handle()), S_OK);
    TextBoxUIObjectImpl* box = BuildBox(window, L"color='0,0,0'>C:\\Apps</TextBox>");
    ASSERT_NE(box, nullptr);
    const HRESULT shown = ProbeDropTarget(window.Handle());
    EXPECT_TRUE(shown == DRAGDROP_E_ALREADYREGISTERED || shown == S_OK);
    box->SetFocus();
    box->OnMessage(QPXUM_CARETBLINK, 0, 0);
    box->SetVisible(false);
    EXPECT_EQ(ProbeDropTarget(window.Handle()), S_OK);
    EXPECT_FALSE(box->IsCaretShown());
    EXPECT_FALSE(box->IsFocused());
    box->OnMessage(WM_CHAR, L'x', 1);
    EXPECT_EQ(box->GetText(), L"C:\\Apps");
    box->SetVisible(true);
    EXPECT_EQ(ProbeDropTarget(window.Handle()), shown);
    box->SetFocus();
    box->OnMessage(WM_CHAR, L'x', 1);
    EXPECT_NE(box->GetText().find(L'x'), std::wstring::npos);

    // A box the layout hides from the start takes no drops either.
    RecordingWindow other;
    ASSERT_NE(BuildBox(other, L"visible='false'/>"), nullptr);
    EXPECT_EQ(ProbeDropTarget(other.Handle()), S_OK);
}

namespace {

// A text box's area and drop target as the window's drop target sees them: what it was told.
class RecordingBox : public DropArea, public RefusingDropTarget {
public:
    explicit RecordingBox(const RECT& area) : area_(area) {}
    RECT DropRect() const override { return area_; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        calls += L"enter ";
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        calls += L"over ";
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        calls += L"leave ";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        calls += L"drop ";
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    std::wstring calls;

private:
    RECT area_;
};

// The screen point of a client point of `window`.
POINTL OnScreen(HWND window, int x, int y) {
    POINT point{x, y};
    ClientToScreen(window, &point);
    return POINTL{point.x, point.y};
}

}  // namespace

// The system keeps one drop target per window: the window's own takes every drag and hands it
// to the box under the pointer, so every shown box of the window takes drops, not the first
// alone. (Wine's text services offer no drop target to hand drags to, so this is the window's
// target with boxes of the test's own; a real drag cannot be driven here.)
TEST(UiTextBox, EveryShownBoxOfAWindowTakesTheDropsOverItsArea) {
    RecordingWindow window;
    RecordingBox first(RECT{10, 10, 100, 30}), second(RECT{10, 50, 100, 70});
    ASSERT_TRUE(WindowDropTarget::Join(window.Handle(), &first, &first));
    ASSERT_TRUE(WindowDropTarget::Join(window.Handle(), &second, &second));
    EXPECT_EQ(ProbeDropTarget(window.Handle()), DRAGDROP_E_ALREADYREGISTERED);
    WindowDropTarget* target = WindowDropTarget::Of(window.Handle());
    ASSERT_NE(target, nullptr);

    DWORD effect = DROPEFFECT_COPY;
    target->DragEnter(nullptr, 0, OnScreen(window.Handle(), 50, 60), &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    target->DragOver(0, OnScreen(window.Handle(), 50, 61), &effect);
    target->DragOver(0, OnScreen(window.Handle(), 50, 20), &effect);  // onto the first box
    target->DragOver(0, OnScreen(window.Handle(), 50, 40), &effect);  // between them
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    target->Drop(nullptr, 0, OnScreen(window.Handle(), 50, 65), &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(second.calls, L"enter over leave enter drop ");
    EXPECT_EQ(first.calls, L"enter leave ");

    // A box that is hidden mid-drag leaves it; with the last box the window's target goes.
    target->DragEnter(nullptr, 0, OnScreen(window.Handle(), 50, 20), &effect);
    WindowDropTarget::Leave(window.Handle(), &first);
    EXPECT_EQ(first.calls, L"enter leave enter leave ");
    target->DragOver(0, OnScreen(window.Handle(), 50, 20), &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    target->DragLeave();
    WindowDropTarget::Leave(window.Handle(), &second);
    EXPECT_EQ(WindowDropTarget::Of(window.Handle()), nullptr);
    EXPECT_EQ(ProbeDropTarget(window.Handle()), S_OK);
}

TEST(UiTextBox, TypingGoesThroughTheForwardedMessages) {
    RecordingWindow window;
    TextBoxUIObjectImpl* box = BuildBox(window, L"color='0,0,0' maxchar='256'>C:\\Program Files</TextBox>");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetText(), L"C:\\Program Files");
    box->SetFocus();
    EXPECT_EQ(window.Of(QPXUM_SETFOCUS).size(), 1u);
    box->SetText(L"");
    Type(*box, L"D:\\\x5B89\x88C5");
    EXPECT_EQ(box->GetText(), L"D:\\\x5B89\x88C5");
    box->OnMessage(WM_KEYDOWN, VK_BACK, 1);
    box->OnMessage(WM_KEYUP, VK_BACK, 1);
    EXPECT_EQ(box->GetText(), L"D:\\\x5B89");
    // A disabled box takes no input.
    box->SetEnabled(false);
    Type(*box, L"x");
    EXPECT_EQ(box->GetText(), L"D:\\\x5B89");
}

TEST(UiTextBox, MaxCharLimitsTyping) {
    RecordingWindow window;
    TextBoxUIObjectImpl* limited = BuildBox(window, L"maxchar='256'/>");
    ASSERT_NE(limited, nullptr);
    limited->SetFocus();
    Type(*limited, std::wstring(300, L'a'));
    EXPECT_EQ(limited->GetText().size(), 256u);

    RecordingWindow other;
    TextBoxUIObjectImpl* open = BuildBox(other, L"maxchar='0'/>");
    ASSERT_NE(open, nullptr);
    open->SetFocus();
    Type(*open, std::wstring(300, L'b'));
    EXPECT_EQ(open->GetText().size(), 300u);
}

TEST(UiTextBox, GetTextBeforeTheHostExistsIsEmpty) {
    TextBoxUIObjectImpl box;
    EXPECT_EQ(box.GetText(), L"");
    box.SetText(L"ignored");
    EXPECT_EQ(box.GetText(), L"");
    EXPECT_FALSE(box.IsHostReady());
}

TEST(UiTextBox, FramesFollowHoverFocusAndEnable) {
    RecordingWindow window;
    TextBoxUIObjectImpl* box = BuildBox(window, L"/>");
    ASSERT_NE(box, nullptr);
    auto frame = [&] { return Render(*box).Rgb(11, 11); };
    BOOL handled = FALSE;
    EXPECT_EQ(frame(), kTextBoxFrames[0]);
    box->OnMouseMove(WM_MOUSEMOVE, 0, At(50, 20), handled);
    EXPECT_EQ(frame(), kTextBoxFrames[1]);
    box->OnMouseLeave(WM_MOUSELEAVE, 0, 0, handled);
    EXPECT_EQ(frame(), kTextBoxFrames[0]);
    box->SetFocus();
    box->OnMouseMove(WM_MOUSEMOVE, 0, At(50, 20), handled);
    box->OnMouseLeave(WM_MOUSELEAVE, 0, 0, handled);
    EXPECT_EQ(frame(), kTextBoxFrames[1]);  // focused: keeps the focus look
    box->KillFocus();
    EXPECT_EQ(frame(), kTextBoxFrames[0]);
    box->SetEnabled(false);
    EXPECT_EQ(frame(), kTextBoxFrames[2]);
    box->OnMouseMove(WM_MOUSEMOVE, 0, At(50, 20), handled);
    EXPECT_FALSE(handled);
}

TEST(UiTextBox, DrawsTextAndABlinkingCaret) {
    RecordingWindow window;
    TextBoxUIObjectImpl* box = BuildBox(window, L"color='0,0,0' size='12'>WWW</TextBox>");
    ASSERT_NE(box, nullptr);
    // The text services' glyphs land opaque inside the text area (client rect less 5).
    const Rendered text = Render(*box);
    int dark = 0;
    for (int y = 15; y < 35; ++y)
        for (int x = 17; x < 123; ++x)
            if (text.Alpha(x, y) == 255 && (text.Rgb(x, y) & 0xFF) < 0x80) ++dark;
    EXPECT_GT(dark, 10);
    EXPECT_EQ(text.Rgb(11, 11), kTextBoxFrames[0]);
    // The text services' background is transparent: the frame shows around the glyphs.
    EXPECT_EQ(text.At(120, 30), 0xFF000000u | kTextBoxFrames[0]);

    box->SetFocus();
    EXPECT_FALSE(box->IsCaretShown());
    const Rendered hidden = Render(*box);
    EXPECT_EQ(box->OnMessage(QPXUM_CARETBLINK, 0, 0), 1);
    EXPECT_TRUE(box->IsCaretShown());
    // The caret: one column of near-black pixels (ARGB 0xFE000000 over the opaque frame),
    // the only change from the rendering without it.
    const Rendered shown = Render(*box);
    int changed = 0;
    int column = -1;
    bool oneColumn = true;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            if (shown.At(x, y) == hidden.At(x, y)) continue;
            ++changed;
            oneColumn &= column < 0 || column == x;
            column = x;
            EXPECT_LE(shown.Rgb(x, y), 0x020202u);
        }
    EXPECT_GT(changed, 5);
    EXPECT_TRUE(oneColumn);
    EXPECT_GE(column, 17);
    EXPECT_LT(column, 123);
    box->OnMessage(QPXUM_CARETBLINK, 0, 0);
    EXPECT_FALSE(box->IsCaretShown());
    box->OnMessage(QPXUM_CARETBLINK, 0, 0);
    box->KillFocus();
    EXPECT_FALSE(box->IsCaretShown());
}

TEST(UiTextBox, TextTakesTheLayoutColourAndFont) {
    RecordingWindow window;
    TextBoxUIObjectImpl* small = BuildBox(window, L"color='220,0,0' size='8'>MMMM</TextBox>");
    ASSERT_NE(small, nullptr);
    const Rendered r = Render(*small);
    auto extent = [](const Rendered& image, int& red) {
        int right = 0;
        red = 0;
        for (int y = 15; y < 35; ++y)
            for (int x = 17; x < 123; ++x) {
                const uint32_t rgb = image.Rgb(x, y);
                if (rgb == kTextBoxFrames[0]) continue;
                right = std::max(right, x);
                if ((rgb >> 16) > 150 && ((rgb >> 8) & 0xFF) < 100) ++red;
            }
        return right;
    };
    int red = 0;
    const int smallRight = extent(r, red);
    EXPECT_GT(red, 10);
    RecordingWindow other;
    TextBoxUIObjectImpl* large = BuildBox(other, L"color='220,0,0' size='14' bold='1'>MMMM</TextBox>");
    ASSERT_NE(large, nullptr);
    const int largeRight = extent(Render(*large), red);
    EXPECT_GT(largeRight, smallRight + 10);
}

TEST(UiTextBox, APressThroughTheTreeFocusesTheBoxAndPlacesTheCaret) {
    RecordingWindow window;
    TextBoxUIObjectImpl* box = BuildBox(window, L"color='0,0,0'>abcdef</TextBox>");
    ASSERT_NE(box, nullptr);
    ContainerUIObjectImpl* root = LayoutRegistry::Instance().Find(window.Handle());
    BOOL handled = FALSE;
    root->OnMouseMove(WM_MOUSEMOVE, 0, At(20, 20), handled);
    root->OnLButtonDown(WM_LBUTTONDOWN, MK_LBUTTON, At(20, 20), handled);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(box->IsFocused());
    const auto focus = window.Of(QPXUM_SETFOCUS);
    ASSERT_FALSE(focus.empty());
    EXPECT_EQ(focus.back().lParam, reinterpret_cast<LPARAM>(static_cast<IQPXBaseUIObject*>(box)));
    // The release comes to the box as the capture holder would get it.
    box->OnMessage(WM_LBUTTONUP, 0, At(20, 20));
    Type(*box, L"X");
    EXPECT_EQ(box->GetText().size(), 7u);
    // Leaving keeps the focus look; the pointer over the text area is the text services' own.
    root->OnMouseMove(WM_MOUSEMOVE, 0, At(300, 200), handled);
    EXPECT_EQ(box->GetFrame(), TextBoxUIObjectImpl::kFocused);
    box->OnSetCursor(WM_SETCURSOR, 0, 0, 20, 20, handled);
    EXPECT_TRUE(handled);
    box->OnSetCursor(WM_SETCURSOR, 0, 0, 11, 11, handled);  // on the frame, outside the text
    EXPECT_FALSE(handled);
}
