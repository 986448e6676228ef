// Containers: own their children, clip and draw them, and route mouse events down the tree.
#include "qpxcontainer.h"

namespace QPXUE {
namespace {

bool Hit(const IQPXBaseUIObject& child, LPARAM lParam) {
    const RECT rect = child.GetRect();
    return PtInRect(&rect, PointFromLParam(lParam)) != FALSE;
}

// Clears `handled`, then offers an event to the hit children of a visible and enabled
// container, child containers first, until one handles it; returns the control that handled
// it (null when none did or a container did).
template <typename Event>
IQPXBaseUIObject* RouteToFirstHit(const ContainerUIObjectImpl& container, const POINT& point,
                                  BOOL& handled, Event event) {
    handled = FALSE;
    if (!container.IsVisible() || !container.IsEnabled()) return nullptr;
    for (const auto& child : container.GetContainers()) {
        const RECT rect = child->GetRect();
        if (PtInRect(&rect, point) && (event(*child), handled)) return nullptr;
    }
    for (const auto& child : container.GetControls()) {
        const RECT rect = child->GetRect();
        if (PtInRect(&rect, point) && (event(*child), handled)) return child.get();
    }
    return nullptr;
}

}  // namespace

int ContainerUIObjectImpl::Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) {
    InitBase(owner, rect);
    background_.Load(resType, resId, scale_, 1, false);
    return 0;
}

void ContainerUIObjectImpl::SetScale(const DisplayScale& scale) {
    BaseUIObjectImpl::SetScale(scale);
    background_.Rescale(scale);
    for (const auto& child : containers_) child->SetScale(scale);
    for (const auto& child : controls_) child->SetScale(scale);
}

int ContainerUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (!visible_) return 0;
    // Replace, not intersect: a child container's reset leaves the rest of this container's
    // controls unclipped, which the shipped layouts rely on.
    PaintArea::ClipTo(graphics, rect_);
    DrawFrame(graphics, background_.get(), 0, rect_);
    for (const auto& child : containers_) child->Draw(graphics);
    for (const auto& child : controls_) child->Draw(graphics);
    PaintArea::Unclip(graphics);
    return 0;
}

void ContainerUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    const int dx = left - rect_.left;
    const int dy = top - rect_.top;
    auto move = [dx, dy](IQPXBaseUIObject& child) {
        const RECT r = child.GetRect();
        child.SetRect(r.left + dx, r.top + dy, r.right + dx, r.bottom + dy);
    };
    for (const auto& child : containers_) move(*child);
    for (const auto& child : controls_) move(*child);
    rect_ = RECT{left, top, right, bottom};
}

LRESULT ContainerUIObjectImpl::OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    IQPXBaseUIObject* control = RouteToFirstHit(*this, PointFromLParam(lParam), handled,
        [&](IQPXBaseUIObject& child) { child.OnLButtonDown(msg, wParam, lParam, handled); });
    if (control != nullptr) control->SetFocus();
    return 0;
}

LRESULT ContainerUIObjectImpl::OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    RouteToFirstHit(*this, PointFromLParam(lParam), handled,
                    [&](IQPXBaseUIObject& child) { child.OnLButtonUp(msg, wParam, lParam, handled); });
    return 0;
}

LRESULT ContainerUIObjectImpl::OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    RouteToFirstHit(*this, PointFromLParam(lParam), handled,
                    [&](IQPXBaseUIObject& child) { child.OnMouseHover(msg, wParam, lParam, handled); });
    return 0;
}

LRESULT ContainerUIObjectImpl::OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, int x, int y,
                                           BOOL& handled) {
    RouteToFirstHit(*this, POINT{x, y}, handled, [&](IQPXBaseUIObject& child) {
        child.OnSetCursor(msg, wParam, lParam, x, y, handled);
    });
    return 0;
}

LRESULT ContainerUIObjectImpl::OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!visible_ || !enabled_) return 0;
    tracking_ = true;
    // Every child hears about the move: the hit ones as a move, the others as a leave, so a
    // control the pointer just left drops its hover look.
    auto visit = [&](IQPXBaseUIObject& child) {
        BOOL scratch = FALSE;
        if (Hit(child, lParam)) child.OnMouseMove(msg, wParam, lParam, handled);
        else child.OnMouseLeave(msg, wParam, lParam, scratch);
    };
    for (const auto& child : containers_) visit(*child);
    if (handled) return 0;
    for (const auto& child : controls_) visit(*child);
    return 0;
}

LRESULT ContainerUIObjectImpl::OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!visible_ || !enabled_ || !tracking_) return 0;
    tracking_ = false;
    for (const auto& child : containers_)
        if (child->OnMouseLeave(msg, wParam, lParam, handled), handled) return 0;
    for (const auto& child : controls_)
        if (child->OnMouseLeave(msg, wParam, lParam, handled), handled) return 0;
    return 0;
}

void ContainerUIObjectImpl::SetVisibleAll(bool visible) {
    visible_ = visible;
    for (const auto& child : containers_) child->SetVisibleAll(visible);
    for (const auto& child : controls_) child->SetVisible(visible);
}

void ContainerUIObjectImpl::AddControl(std::unique_ptr<IQPXBaseUIObject> control) {
    control->SetEnabled(control->IsEnabled() && enabled_);
    controls_.push_back(std::move(control));
}

void ContainerUIObjectImpl::AddContainer(std::unique_ptr<ContainerUIObjectImpl> container) {
    container->SetEnabled(container->IsEnabled() && enabled_);
    containers_.push_back(std::move(container));
}

void ContainerUIObjectImpl::SetEnabledAll(bool enabled) {
    enabled_ = enabled;
    for (const auto& child : containers_) child->SetEnabledAll(enabled);
    for (const auto& child : controls_) child->SetEnabled(enabled);
}

ContainerUIObjectImpl* ContainerUIObjectImpl::FindContainer(const std::wstring& name) const {
    for (const auto& child : containers_)
        if (child->GetName() == name) return child.get();
    return nullptr;
}

void ContainerUIObjectImpl::CutToShown(const IQPXBaseUIObject& control, RECT& area) const {
    for (const auto& child : controls_) {
        if (child.get() != &control) continue;
        for (const auto& container : containers_)
            if (container->IsVisible()) return;  // its drawing took the clip off
        if (!IntersectRect(&area, &area, &rect_)) SetRectEmpty(&area);
        return;
    }
    for (const auto& container : containers_) container->CutToShown(control, area);
}

IQPXBaseUIObject* ContainerUIObjectImpl::FindControl(const std::wstring& name) const {
    for (const auto& child : controls_)
        if (child->GetName() == name) return child.get();
    return nullptr;
}

std::vector<IQPXBaseUIObject*> ContainerUIObjectImpl::CollectControlsOfType(
    const std::type_info& type) const {
    std::vector<IQPXBaseUIObject*> result;
    for (const auto& child : containers_) {
        std::vector<IQPXBaseUIObject*> inner = child->CollectControlsOfType(type);
        result.insert(result.end(), inner.begin(), inner.end());
    }
    for (const auto& child : controls_)
        if (typeid(*child) == type) result.push_back(child.get());
    return result;
}

}  // namespace QPXUE
