// Defaults of the object interface, the state every leaf control shares and the press,
// hover and click handling of clickable controls.
#include "qpxuiobject.h"

#include "qpxmessages.h"

namespace QPXUE {

LRESULT IQPXBaseUIObject::OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    return 0;
}

LRESULT IQPXBaseUIObject::OnLButtonUp(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    return 0;
}

LRESULT IQPXBaseUIObject::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    return 0;
}

LRESULT IQPXBaseUIObject::OnMouseHover(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    return 0;
}

LRESULT IQPXBaseUIObject::OnMouseMove(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    return 0;
}

LRESULT IQPXBaseUIObject::OnSetCursor(UINT, WPARAM, LPARAM, int, int, BOOL& handled) {
    handled = FALSE;
    return 0;
}

LRESULT IQPXBaseUIObject::OnCaptureLost() { return 0; }
void IQPXBaseUIObject::SetFocus() {}
void IQPXBaseUIObject::KillFocus() {}
void IQPXBaseUIObject::SetCapture() {}
void IQPXBaseUIObject::ReleaseCapture() {}
LRESULT IQPXBaseUIObject::OnMessage(UINT, WPARAM, LPARAM) { return 0; }

void BaseUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    rect_ = RECT{left, top, right, bottom};
}

void BaseUIObjectImpl::SetVisible(bool visible) {
    if (!visible) KillFocus();
    visible_ = visible;
}

void BaseUIObjectImpl::SetEnabled(bool enabled) {
    if (!enabled) KillFocus();
    enabled_ = enabled;
}

void BaseUIObjectImpl::InitBase(HWND owner, const RECT& rect) {
    owner_ = owner;
    layoutRect_ = rect;
    rect_ = scale_.Px(rect);
}

void BaseUIObjectImpl::SetScale(const DisplayScale& scale) {
    scale_ = scale;
    rect_ = scale.Px(layoutRect_);
}

LRESULT BaseUIObjectImpl::SendToOwner(UINT msg, WPARAM wParam) const {
    // lParam is the object as the IQPXBaseUIObject the window keeps as holder.
    const IQPXBaseUIObject* self = this;
    return SendMessageW(owner_, msg, wParam, reinterpret_cast<LPARAM>(self));
}

void BaseUIObjectImpl::RequestFocus() {
    if (visible_ && enabled_) SendToOwner(QPXUM_SETFOCUS, 0);
}

void BaseUIObjectImpl::GiveUpFocus() {
    if (visible_ && enabled_) SendToOwner(QPXUM_KILLFOCUS, 0);
}

void BaseUIObjectImpl::RequestCapture() {
    if (visible_ && enabled_) SendToOwner(QPXUM_SETCAPTURE, 0);
}

void BaseUIObjectImpl::GiveUpCapture() {
    if (visible_ && enabled_) SendToOwner(QPXUM_RELEASECAPTURE, 0);
}

void ClickableUIObjectImpl::SetAction(UINT action) { actionMessage_ = QPXUM_ACTION_BASE + action; }

void ClickableUIObjectImpl::Click() { SendToOwner(actionMessage_, 0); }

LRESULT ClickableUIObjectImpl::OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    if (!Active()) return 0;
    pressed_ = true;
    handled = TRUE;
    return 0;
}

LRESULT ClickableUIObjectImpl::OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Active()) return 0;
    if (pressed_ && actionMessage_ != 0) Click();
    pressed_ = false;
    return OnMouseHover(msg, wParam, lParam, handled);
}

LRESULT ClickableUIObjectImpl::OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!Active()) return 0;
    hovering_ = true;
    return OnMouseHover(msg, wParam, lParam, handled);
}

LRESULT ClickableUIObjectImpl::OnMouseHover(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = Active() ? TRUE : FALSE;
    return 0;
}

LRESULT ClickableUIObjectImpl::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = FALSE;
    if (!Active() || !hovering_) return 0;
    pressed_ = false;
    hovering_ = false;
    handled = TRUE;
    return 0;
}

}  // namespace QPXUE
