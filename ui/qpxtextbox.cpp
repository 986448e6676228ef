// The editable text box: a frame strip and a windowless rich-edit control drawn onto the
// window surface, with a drawn caret (a layered window never shows the system caret).
#include "qpxtextbox.h"

#include <imm.h>

#include "qpxexception.h"
#include "qpxmessages.h"
#include "qpxtxtwinhost.h"

namespace QPXUE {
namespace {

constexpr int kDefaultMaxLength = 65536;
constexpr Gdiplus::ARGB kCaretColor = 0xFE000000;
constexpr int kMargin = 5;  // layout pixels between the client rect and the text area
constexpr int kTenthsPerInch = 720;

// GDI draws the text services' glyphs with alpha 0 and leaves the transparent background
// alone: the drawn pixels become opaque, everything else transparent, ready to blend.
void RepairAlpha(Surface& scratch) {
    for (int y = 0; y < scratch.Height(); ++y) {
        uint32_t* row = scratch.Row(y);
        for (int x = 0; x < scratch.Width(); ++x)
            row[x] = (row[x] & 0xFF000000u) == 0 ? (row[x] | 0xFF000000u) : 0;
    }
}

}  // namespace

TextBoxUIObjectImpl::TextBoxUIObjectImpl() = default;

TextBoxUIObjectImpl::~TextBoxUIObjectImpl() {
    // The text services may call back (caret, capture) while they deactivate: by then the
    // box asks its window for nothing.
    hostReady_ = false;
    host_.Reset();
}

int TextBoxUIObjectImpl::Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) {
    InitBase(owner, rect);
    image_.Load(resType, resId, scale_, kFrames);
    return 0;
}

void TextBoxUIObjectImpl::SetClientRect(const RECT& rect) {
    layoutClientRect_ = rect;
    clientRect_ = scale_.Px(rect);
}

void TextBoxUIObjectImpl::SetScale(const DisplayScale& scale) {
    BaseUIObjectImpl::SetScale(scale);
    clientRect_ = scale.Px(layoutClientRect_);
    image_.Rescale(scale);
    if (!host_) return;
    host_->SetClientRect(clientRect_, scale.Px(kMargin));
    ApplyFont();
    // The services place and size the caret anew for the new area and font when they get the
    // focus again.
    if (focused_ && hostReady_) {
        LRESULT ignored = 0;
        host_->Services()->TxSendMessage(WM_SETFOCUS, 0, 0, &ignored);
    }
}

void TextBoxUIObjectImpl::CreateHost() {
    host_ = CTxtWinHost::Create(this, owner_, clientRect_, scale_.Px(kMargin));
    if (!host_) throw QPXException(E_FAIL);
    host_->SetPropertyBits(TXTBIT_RICHTEXT, false);  // plain text
    host_->SetPropertyBits(TXTBIT_ALLOWBEEP, true);
    if (!visible_) host_->SetShown(false);  // hidden before its host was made
    hostReady_ = true;
}

void TextBoxUIObjectImpl::SetTextColor(COLORREF rgb) {
    if (host_) host_->SetTextColor(rgb);
}

void TextBoxUIObjectImpl::SetFont(const std::wstring& face, int size, bool bold) {
    fontFace_ = face;
    fontSize_ = size;
    fontBold_ = bold;
    fontSet_ = true;
    ApplyFont();
}

void TextBoxUIObjectImpl::ApplyFont() {
    if (!host_ || !fontSet_) return;
    LOGFONTW logFont{};
    lstrcpynW(logFont.lfFaceName, fontFace_.c_str(), LF_FACESIZE);
    logFont.lfWeight = fontBold_ ? FW_BOLD : 0;
    logFont.lfCharSet = DEFAULT_CHARSET;
    // size in points as tenths of a point, to pixels at the box's scale, to logical units.
    const WindowDc screen(nullptr);
    POINT height{0, MulDiv(static_cast<int>(scale_.Dpi()), fontSize_ * 10, kTenthsPerInch)};
    DPtoLP(screen.get(), &height, 1);
    logFont.lfHeight = -std::abs(height.y);
    UniqueGdiObject font(CreateFontIndirectW(&logFont));
    if (font) host_->SetFont(static_cast<HFONT>(font.get()));
}

void TextBoxUIObjectImpl::SetMaxLength(int maxChars) {
    if (host_) host_->SetMaxLength(maxChars > 0 ? maxChars : kDefaultMaxLength);
}

void TextBoxUIObjectImpl::SetMultiLine(bool multiLine) {
    if (host_) host_->SetPropertyBits(TXTBIT_MULTILINE | TXTBIT_WORDWRAP, multiLine);
}

void TextBoxUIObjectImpl::SetText(const std::wstring& text) {
    if (hostReady_) host_->Services()->TxSetText(text.c_str());
}

std::wstring TextBoxUIObjectImpl::GetText() const {
    if (!hostReady_) return std::wstring();
    BSTR text = nullptr;
    if (FAILED(host_->Services()->TxGetText(&text)) || text == nullptr) return std::wstring();
    const std::unique_ptr<OLECHAR, decltype(&SysFreeString)> owner(text, SysFreeString);
    return std::wstring(text, SysStringLen(text));
}

void TextBoxUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    const RECT old = rect_;
    rect_ = RECT{left, top, right, bottom};
    if (Width(old) <= 0 || Height(old) <= 0) return;
    // The client rect keeps its share of the rect and stays centred in it.
    const int width = MulDiv(Width(clientRect_), Width(rect_), Width(old));
    const int height = MulDiv(Height(clientRect_), Height(rect_), Height(old));
    clientRect_.left = left + (Width(rect_) - width) / 2;
    clientRect_.top = top + (Height(rect_) - height) / 2;
    clientRect_.right = clientRect_.left + width;
    clientRect_.bottom = clientRect_.top + height;
}

void TextBoxUIObjectImpl::SetEnabled(bool enabled) {
    BaseUIObjectImpl::SetEnabled(enabled);
    frame_ = kNormal;
    if (host_) host_->SetDisabledLook(!enabled);
}

void TextBoxUIObjectImpl::SetVisible(bool visible) {
    const bool changed = visible != visible_;
    BaseUIObjectImpl::SetVisible(visible);
    if (changed && hostReady_) host_->SetShown(visible);
}

int TextBoxUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (!visible_ || !hostReady_) return 0;
    DrawFrame(graphics, image_.get(), GetFrame(), rect_);
    DrawServicesText(graphics);
    if (caretShown_) {
        const POINT caret = host_->CaretPos();
        const int height = host_->CaretHeight();
        Gdiplus::SolidBrush brush{Gdiplus::Color(kCaretColor)};
        graphics.FillRectangle(&brush, caret.x, caret.y, scale_.Line(), height);
    }
    return 0;
}

void TextBoxUIObjectImpl::DrawServicesText(Gdiplus::Graphics& graphics) {
    const RECT area = host_->TextArea();
    if (Width(area) <= 0 || Height(area) <= 0) return;
    const ClippedDc clipped(graphics);
    HDC target = clipped.get();
    Surface scratch(target, Width(area), Height(area));
    if (!scratch.IsValid()) return;
    BitBlt(scratch.GetDC(), 0, 0, Width(area), Height(area), target, area.left, area.top, SRCCOPY);
    // The text services lay out in window coordinates: shift the scratch under them.
    SetViewportOrgEx(scratch.GetDC(), -area.left, -area.top, nullptr);
    const RECTL bounds{area.left, area.top, area.right, area.bottom};
    RECT update = area;
    host_->Services()->TxDraw(DVASPECT_CONTENT, 0, nullptr, nullptr, scratch.GetDC(), nullptr, &bounds, nullptr,
                              &update, nullptr, 0, TXTVIEW_ACTIVE);
    SetViewportOrgEx(scratch.GetDC(), 0, 0, nullptr);
    GdiFlush();
    RepairAlpha(scratch);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    GdiAlphaBlend(target, area.left, area.top, Width(area), Height(area), scratch.GetDC(), 0, 0, Width(area),
                  Height(area), blend);
}

LRESULT TextBoxUIObjectImpl::Forward(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    const LRESULT result = host_->WindowProc(owner_, msg, wParam, lParam);
    handled = result == S_MSG_KEY_IGNORED ? FALSE : TRUE;
    return result;
}

LRESULT TextBoxUIObjectImpl::ForwardMouse(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (Active()) Forward(msg, wParam, lParam, handled);
    return 0;
}

LRESULT TextBoxUIObjectImpl::OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    if (Active()) {
        frame_ = kFocused;
        tracking_ = true;
    }
    return ForwardMouse(msg, wParam, lParam, handled);
}

LRESULT TextBoxUIObjectImpl::OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    // Only the leave after a move over the box counts.
    if (Active() && tracking_) {
        tracking_ = false;
        frame_ = focused_ ? kFocused : kNormal;
        return ForwardMouse(msg, wParam, lParam, handled);
    }
    handled = FALSE;
    return 0;
}

LRESULT TextBoxUIObjectImpl::OnSetCursor(UINT, WPARAM, LPARAM, int x, int y, BOOL& handled) {
    handled = FALSE;
    if (!Active()) return 0;
    const RECT area = host_->TextArea();
    if (!PtInRect(&area, POINT{x, y})) return 0;
    const WindowDc dc(owner_);
    host_->Services()->OnTxSetCursor(DVASPECT_CONTENT, -1, nullptr, nullptr, dc.get(), nullptr,
                                     nullptr, x, y);
    handled = TRUE;
    return 0;
}

LRESULT TextBoxUIObjectImpl::OnCaptureLost() {
    if (hostReady_) {
        LRESULT ignored = 0;
        host_->Services()->TxSendMessage(WM_CAPTURECHANGED, 0, 0, &ignored);
    }
    return 0;
}

void TextBoxUIObjectImpl::SetFocus() {
    if (!Active()) return;
    LRESULT ignored = 0;
    host_->Services()->TxSendMessage(WM_SETFOCUS, 0, 0, &ignored);
    SendToOwner(QPXUM_SETFOCUS, 0);
    frame_ = kFocused;
    focused_ = true;
}

void TextBoxUIObjectImpl::KillFocus() {
    if (!Active()) return;
    LRESULT ignored = 0;
    host_->Services()->TxSendMessage(WM_KILLFOCUS, 0, 0, &ignored);
    SendToOwner(QPXUM_KILLFOCUS, 0);
    caretShown_ = false;
    frame_ = kNormal;
    focused_ = false;
}

void TextBoxUIObjectImpl::SetCapture() {
    if (Active()) SendToOwner(QPXUM_SETCAPTURE, 0);
}

void TextBoxUIObjectImpl::ReleaseCapture() {
    if (Active()) SendToOwner(QPXUM_RELEASECAPTURE, 0);
}

LRESULT TextBoxUIObjectImpl::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_IME_COMPOSITION) {
        // Put the input method's composition window at the drawn caret; default processing
        // still runs.
        if (HIMC context = ImmGetContext(owner_)) {
            COMPOSITIONFORM form{};
            form.dwStyle = CFS_POINT;
            if (hostReady_) form.ptCurrentPos = host_->CaretPos();
            ImmSetCompositionWindow(context, &form);
            ImmReleaseContext(owner_, context);
        }
        return 0;
    }
    if (msg == QPXUM_CARETBLINK) {
        caretShown_ = !caretShown_;
        return 1;
    }
    if (!Active()) return 0;
    BOOL handled = FALSE;
    const LRESULT result = Forward(msg, wParam, lParam, handled);
    return handled ? result : 0;
}

}  // namespace QPXUE
