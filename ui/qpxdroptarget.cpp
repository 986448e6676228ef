// One drop target per window for all of its text boxes.
#include "qpxdroptarget.h"

#include <algorithm>
#include <map>

namespace QPXUE {
namespace {

using Microsoft::WRL::ComPtr;

// The drop target of each window while a box of it takes drops.
std::map<HWND, ComPtr<WindowDropTarget>>& Targets() {
    static std::map<HWND, ComPtr<WindowDropTarget>> targets;
    return targets;
}

}  // namespace

bool WindowDropTarget::Join(HWND window, const DropArea* area, IDropTarget* target) {
    ComPtr<WindowDropTarget>& windowTarget = Targets()[window];
    if (!windowTarget) {
        windowTarget.Attach(new WindowDropTarget(window));
        if (FAILED(RegisterDragDrop(window, windowTarget.Get()))) {
            Targets().erase(window);
            return false;
        }
    }
    windowTarget->boxes_.push_back(Box{area, target});
    return true;
}

void WindowDropTarget::Leave(HWND window, const DropArea* area) {
    const auto found = Targets().find(window);
    if (found == Targets().end()) return;
    std::vector<Box>& boxes = found->second->boxes_;
    for (auto box = boxes.begin(); box != boxes.end(); ++box) {
        if (box->area != area) continue;
        if (found->second->current_ == box->target.Get()) {
            box->target->DragLeave();
            found->second->current_ = nullptr;
        }
        boxes.erase(box);
        break;
    }
    if (!boxes.empty()) return;
    RevokeDragDrop(window);
    Targets().erase(found);
}

WindowDropTarget* WindowDropTarget::Of(HWND window) {
    const auto found = Targets().find(window);
    return found == Targets().end() ? nullptr : found->second.Get();
}

HRESULT STDMETHODCALLTYPE WindowDropTarget::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDropTarget)) return E_NOINTERFACE;
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE WindowDropTarget::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE WindowDropTarget::Release() {
    const LONG left = --references_;
    if (left == 0) delete this;
    return left;
}

IDropTarget* WindowDropTarget::BoxAt(POINTL point) const {
    POINT client{point.x, point.y};
    ScreenToClient(window_, &client);
    const auto hit = std::find_if(boxes_.begin(), boxes_.end(), [&client](const Box& box) {
        const RECT area = box.area->DropRect();
        return PtInRect(&area, client) != FALSE;
    });
    return hit == boxes_.end() ? nullptr : hit->target.Get();
}

void WindowDropTarget::MoveTo(IDropTarget* next, DWORD keys, POINTL point, DWORD* effect) {
    if (current_ != nullptr) current_->DragLeave();
    current_ = next;
    if (current_ != nullptr) {
        current_->DragEnter(data_.Get(), keys, point, effect);
    } else {
        *effect = DROPEFFECT_NONE;
    }
}

HRESULT STDMETHODCALLTYPE WindowDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) {
    data_ = data;
    current_ = nullptr;
    MoveTo(BoxAt(point), keys, point, effect);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WindowDropTarget::DragOver(DWORD keys, POINTL point, DWORD* effect) {
    IDropTarget* next = BoxAt(point);
    if (next != current_) {
        MoveTo(next, keys, point, effect);
        return S_OK;
    }
    if (current_ != nullptr) return current_->DragOver(keys, point, effect);
    *effect = DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WindowDropTarget::DragLeave() {
    if (current_ != nullptr) current_->DragLeave();
    current_ = nullptr;
    data_.Reset();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WindowDropTarget::Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) {
    data_ = data;
    IDropTarget* next = BoxAt(point);
    if (next != current_) MoveTo(next, keys, point, effect);
    HRESULT result = S_OK;
    if (current_ != nullptr) {
        result = current_->Drop(data, keys, point, effect);
    } else {
        *effect = DROPEFFECT_NONE;
    }
    current_ = nullptr;
    data_.Reset();
    return result;
}

}  // namespace QPXUE
