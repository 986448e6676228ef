// Defaults of the object interface and the state every leaf control shares.
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

void BaseUIObjectImpl::SetVisible(bool visible) { visible_ = visible; }

void BaseUIObjectImpl::InitBase(HWND owner, const RECT& rect) {
    owner_ = owner;
    rect_ = rect;
}

LRESULT BaseUIObjectImpl::SendToOwner(UINT msg, WPARAM wParam) const {
    // lParam is the object as the IQPXBaseUIObject the window keeps as holder.
    const IQPXBaseUIObject* self = this;
    return SendMessageW(owner_, msg, wParam, reinterpret_cast<LPARAM>(self));
}

void BaseUIObjectImpl::RequestFocus() {
    if (visible_ && IsEnabled()) SendToOwner(QPXUM_SETFOCUS, 0);
}

void BaseUIObjectImpl::GiveUpFocus() {
    if (visible_ && IsEnabled()) SendToOwner(QPXUM_KILLFOCUS, 0);
}

void BaseUIObjectImpl::RequestCapture() {
    if (visible_ && IsEnabled()) SendToOwner(QPXUM_SETCAPTURE, 0);
}

void BaseUIObjectImpl::GiveUpCapture() {
    if (visible_ && IsEnabled()) SendToOwner(QPXUM_RELEASECAPTURE, 0);
}

}  // namespace QPXUE
