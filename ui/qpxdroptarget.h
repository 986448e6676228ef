// One drop target per window for all of its text boxes: the system keeps a single drop target
// per window, so the window's hands each drag to the drop target of the box under the pointer.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <wrl/client.h>

#include <vector>

namespace QPXUE {

// Where a text box takes drops: its text area, in client pixels of its window.
class DropArea {
public:
    virtual RECT DropRect() const = 0;

protected:
    ~DropArea() = default;
};

// Made, used and ended on the UI thread; the system calls it there during a drag.
class WindowDropTarget final : public IDropTarget {
public:
    // From now on the box `area` takes drops through `target`. The window's drop target is
    // registered with its first box; false when the system refuses it.
    static bool Join(HWND window, const DropArea* area, IDropTarget* target);
    // The box takes no more drops; the window's drop target goes with its last box.
    static void Leave(HWND window, const DropArea* area);
    // The window's drop target while a box of it takes drops; null otherwise.
    static WindowDropTarget* Of(HWND window);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDropTarget: the box under `point` (screen pixels) has the drag; a drag that moves onto
    // another box leaves the first and enters the other; over no box nothing would drop.
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    struct Box {
        const DropArea* area;
        Microsoft::WRL::ComPtr<IDropTarget> target;
    };
    explicit WindowDropTarget(HWND window) : window_(window) {}
    ~WindowDropTarget() = default;
    // The drop target of the box under `point`; null when there is none.
    IDropTarget* BoxAt(POINTL point) const;
    // The drag leaves the box it was over (if any) and enters `next` (if any).
    void MoveTo(IDropTarget* next, DWORD keys, POINTL point, DWORD* effect);

    LONG references_ = 1;
    const HWND window_;
    std::vector<Box> boxes_;
    Microsoft::WRL::ComPtr<IDataObject> data_;  // of the drag under way
    IDropTarget* current_ = nullptr;           // the target of the box the drag is over
};

}  // namespace QPXUE
