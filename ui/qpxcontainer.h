// Containers: own their children, clip and draw them, and route mouse events down the tree.
#pragma once

#include <memory>
#include <typeinfo>
#include <vector>

#include "qpxdraw.h"
#include "qpxuiobject.h"

namespace QPXUE {

class ContainerUIObjectImpl : public IQPXBaseUIObject {
public:
    using ControlList = std::vector<std::unique_ptr<IQPXBaseUIObject>>;
    using ContainerList = std::vector<std::unique_ptr<ContainerUIObjectImpl>>;

    int Draw(Gdiplus::Graphics& graphics) override;
    // The background image is optional: resId 0 means none.
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    RECT GetRect() const override { return rect_; }
    // Moves every child by the move of the top-left corner, then takes the new rect.
    void SetRect(int left, int top, int right, int bottom) override;
    bool IsVisible() const override { return visible_; }
    void SetVisible(bool visible) override { visible_ = visible; }  // own flag only
    bool IsEnabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }  // own flag only
    HWND GetOwner() const override { return owner_; }
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, int x, int y,
                        BOOL& handled) override;
    const std::wstring& GetName() const override { return name_; }
    void SetName(const std::wstring& name) override { name_ = name; }

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
    RECT rect_{};
    HWND owner_ = nullptr;
    bool visible_ = true;
    ControlList controls_;
    ContainerList containers_;
    std::wstring name_;
    std::unique_ptr<ImageObject> background_;
    bool tracking_ = false;
    bool pressed_ = false;
    bool enabled_ = true;
};

}  // namespace QPXUE
