// Containers: own their children, clip and draw them, and route mouse events down the tree.
#pragma once

#include <memory>
#include <typeinfo>
#include <vector>

#include "qpxdraw.h"
#include "qpxuiobject.h"

namespace QPXUE {

// SetVisible and SetEnabled change the container's own flag only; SetVisibleAll and
// SetEnabledAll change the subtree.
class ContainerUIObjectImpl : public BaseUIObjectImpl {
public:
    using ControlList = std::vector<std::unique_ptr<IQPXBaseUIObject>>;
    using ContainerList = std::vector<std::unique_ptr<ContainerUIObjectImpl>>;

    int Draw(Gdiplus::Graphics& graphics) override;
    // The background image is optional: resId 0 means none.
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    // Moves every child by the move of the top-left corner, then takes the new rect.
    void SetRect(int left, int top, int right, int bottom) override;
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, int x, int y,
                        BOOL& handled) override;
    // Its own rect and background, then every child's.
    void SetScale(const DisplayScale& scale) override;

    // Own flag, then SetVisibleAll on child containers and SetVisible on controls.
    virtual void SetVisibleAll(bool visible);
    // The child stays enabled only if it and this container are; then it is appended.
    virtual void AddControl(std::unique_ptr<IQPXBaseUIObject> control);
    virtual void AddContainer(std::unique_ptr<ContainerUIObjectImpl> container);
    // Own flag, then SetEnabledAll on child containers and SetEnabled on controls.
    virtual void SetEnabledAll(bool enabled);

    // Direct children only, first match in list order, exact name; null if none.
    ContainerUIObjectImpl* FindContainer(const std::wstring& name) const;
    IQPXBaseUIObject* FindControl(const std::wstring& name) const;
    const ContainerList& GetContainers() const { return containers_; }
    const ControlList& GetControls() const { return controls_; }
    // Cuts `area`, a part of `control` (anywhere in the subtree), to what drawing can show of
    // it: its container clips its controls to its own rect unless a visible child container
    // has drawn first and taken the clip off. Left as it is when the control is not found.
    void CutToShown(const IQPXBaseUIObject& control, RECT& area) const;
    // Every control of the subtree whose run-time class is exactly `type`, depth first: each
    // child container's collection, then this container's own matches.
    std::vector<IQPXBaseUIObject*> CollectControlsOfType(const std::type_info& type) const;
    template <typename T>
    std::vector<T*> CollectControlsOfType() const {
        std::vector<T*> result;
        for (IQPXBaseUIObject* control : CollectControlsOfType(typeid(T)))
            result.push_back(static_cast<T*>(control));
        return result;
    }

protected:
    ControlList controls_;
    ContainerList containers_;
    SkinImage background_;
    bool tracking_ = false;
};

}  // namespace QPXUE
