// The everyday controls: buttons, check boxes, labels, link labels, pictures, and the
// caption, vertical and grid container variants.
#include "qpxcontrols.h"

#include "qpxexception.h"

namespace QPXUE {

// ---- Text ----

void TextPart::SetFont(const std::wstring& face, int size, bool bold, const DisplayScale& scale) {
    face_ = face;
    size_ = size;
    bold_ = bold;
    const int style = (bold ? Gdiplus::FontStyleBold : 0) |
                      (underlined_ ? Gdiplus::FontStyleUnderline : 0);
    font_ = MakeFont(face, size, style, scale);
}

void TextPart::Rescale(const DisplayScale& scale) { SetFace(face_, scale); }

void TextPart::SetFace(const std::wstring& face, const DisplayScale& scale) {
    if (font_) SetFont(face, size_, bold_, scale);
}

// ---- Button ----

int ButtonUIObjectImpl::Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) {
    InitBase(owner, rect);
    image_.Load(resType, resId, scale_, kFrames);
    return 0;
}

void ButtonUIObjectImpl::SetScale(const DisplayScale& scale) {
    ClickableUIObjectImpl::SetScale(scale);
    image_.Rescale(scale);
}

int ButtonUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (visible_) DrawFrame(graphics, image_.get(), GetState(), rect_);
    return 0;
}

void ButtonUIObjectImpl::SetEnabled(bool enabled) {
    ClickableUIObjectImpl::SetEnabled(enabled);
    look_ = kNormal;
}

LRESULT ButtonUIObjectImpl::OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    ClickableUIObjectImpl::OnLButtonDown(msg, wParam, lParam, handled);
    if (handled) look_ = kPressed;
    return 0;
}

LRESULT ButtonUIObjectImpl::OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    ClickableUIObjectImpl::OnMouseHover(msg, wParam, lParam, handled);
    if (handled) look_ = kHover;
    return 0;
}

LRESULT ButtonUIObjectImpl::OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    ClickableUIObjectImpl::OnMouseLeave(msg, wParam, lParam, handled);
    if (handled) look_ = kNormal;
    return 0;
}

// ---- Check box ----

int CheckBoxUIObjectImpl::Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) {
    InitBase(owner, rect);
    image_.Load(resType, resId, scale_, kFrames);
    return 0;
}

void CheckBoxUIObjectImpl::SetScale(const DisplayScale& scale) {
    TextControl::SetScale(scale);
    checkRect_ = scale.Px(layoutCheckRect_);
    labelRect_ = scale.Px(layoutLabelRect_);
    image_.Rescale(scale);
}

void CheckBoxUIObjectImpl::SetCheckRect(const RECT& rect) {
    layoutCheckRect_ = rect;
    checkRect_ = scale_.Px(rect);
}

void CheckBoxUIObjectImpl::SetLabelRect(const RECT& rect) {
    layoutLabelRect_ = rect;
    labelRect_ = scale_.Px(rect);
}

int CheckBoxUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (!visible_) return 0;
    if (text_.GetText().empty()) {
        DrawFrame(graphics, image_.get(), GetState(), rect_);
        return 0;
    }
    if (!IsRectEmpty(&checkRect_)) DrawFrame(graphics, image_.get(), GetState(), checkRect_);
    text_.Draw(graphics, labelRect_.left, labelRect_.top);
    return 0;
}

void CheckBoxUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    const int dx = left - rect_.left;
    const int dy = top - rect_.top;
    OffsetRect(&checkRect_, dx, dy);
    OffsetRect(&labelRect_, dx, dy);
    rect_ = RECT{left, top, right, bottom};
}

int CheckBoxUIObjectImpl::GetState() const {
    if (!enabled_) return checked_ ? kCheckedDisabled : kUncheckedDisabled;
    if (hoverLook_) return checked_ ? kCheckedHover : kUncheckedHover;
    return checked_ ? kChecked : kUnchecked;
}

void CheckBoxUIObjectImpl::SetChecked(bool checked) {
    checked_ = checked;
    hoverLook_ = false;
}

void CheckBoxUIObjectImpl::SetEnabled(bool enabled) {
    ClickableUIObjectImpl::SetEnabled(enabled);
    hoverLook_ = false;
}

void CheckBoxUIObjectImpl::Click() {
    SetChecked(!IsChecked());
    SendToOwner(actionMessage_, IsChecked() ? 1 : 0);
}

LRESULT CheckBoxUIObjectImpl::OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    ClickableUIObjectImpl::OnMouseHover(msg, wParam, lParam, handled);
    if (handled) hoverLook_ = true;
    return 0;
}

LRESULT CheckBoxUIObjectImpl::OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    ClickableUIObjectImpl::OnMouseLeave(msg, wParam, lParam, handled);
    if (handled) hoverLook_ = false;
    return 0;
}

// ---- Label ----

int LabelUIObjectImpl::Init(HWND owner, const RECT& rect, UINT resId, const wchar_t*) {
    if (resId != 0) throw QPXException(E_FAIL);
    InitBase(owner, rect);
    return 0;
}

void LabelUIObjectImpl::SetCentred(bool centred) {
    centred_.reset();
    if (!centred) return;
    centred_.reset(new Gdiplus::StringFormat(Gdiplus::StringFormatFlagsNoWrap));
    centred_->SetAlignment(Gdiplus::StringAlignmentCenter);
}

int LabelUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (visible_) text_.Draw(graphics, rect_.left, rect_.top, centred_.get(), Width(rect_));
    return 0;
}

// ---- Link label ----

LinkLabelUIObjectImpl::LinkLabelUIObjectImpl()
    : TextControl(true), cursor_(LoadCursorW(nullptr, IDC_HAND)) {}

int LinkLabelUIObjectImpl::Init(HWND owner, const RECT& rect, UINT resId, const wchar_t*) {
    if (resId != 0) throw QPXException(E_FAIL);
    InitBase(owner, rect);
    return 0;
}

int LinkLabelUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (visible_) text_.Draw(graphics, rect_.left, rect_.top);
    return 0;
}

LRESULT LinkLabelUIObjectImpl::OnSetCursor(UINT, WPARAM, LPARAM, int, int, BOOL& handled) {
    handled = FALSE;
    if (!Active()) return 0;
    ::SetCursor(cursor_);
    handled = TRUE;
    return 0;
}

// ---- Picture ----

int PictureUIObjectImpl::Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) {
    InitBase(owner, rect);
    image_.Load(resType, resId, scale_);
    return 0;
}

void PictureUIObjectImpl::SetScale(const DisplayScale& scale) {
    BaseUIObjectImpl::SetScale(scale);
    image_.Rescale(scale);
}

int PictureUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (!visible_ || !image_) return 0;
    const Gdiplus::RectF source(0, 0, static_cast<Gdiplus::REAL>(image_->GetWidth()),
                                static_cast<Gdiplus::REAL>(image_->GetHeight()));
    DrawStretched(graphics, image_.get(), ToRectF(rect_), source);
    return 0;
}

// ---- Container variants ----

LRESULT CaptionContainerUIObjectImpl::OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam,
                                                    BOOL& handled) {
    ContainerUIObjectImpl::OnLButtonDown(msg, wParam, lParam, handled);
    if (handled || !visible_ || !enabled_) return 0;
    // The system moves the window as if its caption had been pressed.
    PostMessageW(owner_, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
    handled = TRUE;
    return 0;
}

int VerticalContainerUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (rows_ <= 0) return 0;
    const int pitch = Height(rect_) / rows_;
    int slot = 0;
    for (const auto& child : containers_) {
        if (!child->IsVisible()) continue;
        const RECT r = child->GetRect();
        const int top = rect_.top + slot * pitch;
        child->SetRect(r.left, top, r.right, top + Height(r));
        child->Draw(graphics);
        slot = (slot + 1) % rows_;
    }
    return 0;
}

int GridContainerUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (columns_ <= 0 || rows_ <= 0) return 0;
    // The cells follow the rect, whatever scale it was laid out at.
    const int cellWidth = Width(rect_) / columns_;
    const int cellHeight = Height(rect_) / rows_;
    int column = 0;
    int row = 0;
    for (const auto& child : containers_) {
        if (!child->IsVisible()) continue;
        const RECT r = child->GetRect();
        const int left = rect_.left + column * cellWidth;
        const int top = rect_.top + row * cellHeight;
        child->SetRect(left, top, left + Width(r), top + Height(r));
        child->Draw(graphics);
        if (vertical_) {
            if ((row + 1) * cellHeight < Height(rect_)) ++row;
            else { row = 0; ++column; }
        } else {
            if ((column + 1) * cellWidth < Width(rect_)) ++column;
            else { column = 0; ++row; }
        }
    }
    return 0;
}

}  // namespace QPXUE
