// The interfaces every UI object and every animation implements, in their fixed slot order.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <string>

#include "qpxscale.h"

namespace QPXUE {

// A node of a window's object tree. Event operations get the window message, its wParam and
// lParam (mouse position: signed 16-bit client x in the low word, y in the high word) and a
// handled flag that they clear first and set when they consumed the event; they return 0.
// Init takes the rect in the layout's pixels (96 DPI), which the object's scale turns into the
// device pixels of the window; every other rect and position is in device pixels.
class IQPXBaseUIObject {
public:
    virtual ~IQPXBaseUIObject() = default;
    virtual int Draw(Gdiplus::Graphics& graphics) = 0;
    // Raises QPXException(E_FAIL) when a required image is missing or an image is not allowed.
    virtual int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) = 0;
    virtual RECT GetRect() const = 0;
    virtual void SetRect(int left, int top, int right, int bottom) = 0;
    virtual bool IsVisible() const = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool IsEnabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual HWND GetOwner() const = 0;
    virtual LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    virtual LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    // The pointer left the object; also delivered for moves outside it.
    virtual LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    virtual LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    virtual LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    // x, y: the cursor position in client coordinates.
    virtual LRESULT OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, int x, int y,
                                BOOL& handled);
    // Another object took the mouse capture from this one.
    virtual LRESULT OnCaptureLost();
    virtual void SetFocus();
    virtual void KillFocus();
    virtual void SetCapture();
    virtual void ReleaseCapture();
    virtual const std::wstring& GetName() const = 0;
    virtual void SetName(const std::wstring& name) = 0;
    // Raw messages routed to the capture or focus holder; non-zero when handled.
    virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // The scale the object is drawn at: set before Init, and again whenever the window's DPI
    // changes, when the object lays itself out anew from its layout and keeps its state.
    virtual void SetScale(const DisplayScale& scale) = 0;
};

// An object that runs window timers through QPXUM_SETANIMATIONTIMER / QPXUM_KILLANIMATIONTIMER.
class IQPXBaseAnimationObject {
public:
    virtual ~IQPXBaseAnimationObject() = default;
    virtual void Play() = 0;
    virtual void Stop() = 0;
    // index: the animation index the object itself chose (window timer id minus the base).
    virtual void OnTimer(UINT index) = 0;
    // The part of the window (client coordinates) that its timers change.
    virtual RECT AnimatedArea() const = 0;
};

// What every object keeps, containers included: rect, owner, visibility, enabled state, name
// and scale, plus the requests to the owner window.
class BaseUIObjectImpl : public IQPXBaseUIObject {
public:
    RECT GetRect() const override { return rect_; }
    void SetRect(int left, int top, int right, int bottom) override;
    bool IsVisible() const override { return visible_; }
    // A control that is hidden gives up the focus first.
    void SetVisible(bool visible) override;
    bool IsEnabled() const override { return enabled_; }
    // A control that is disabled gives up the focus first.
    void SetEnabled(bool enabled) override;
    HWND GetOwner() const override { return owner_; }
    const std::wstring& GetName() const override { return name_; }
    void SetName(const std::wstring& name) override { name_ = name; }
    // The rect becomes the layout's rect at the new scale.
    void SetScale(const DisplayScale& scale) override;

protected:
    // Stores owner and the layout's rect, and the rect at the object's scale; the image rule
    // (required, optional, forbidden) is the caller's.
    void InitBase(HWND owner, const RECT& rect);
    // Sends msg to the owner with this object as lParam.
    LRESULT SendToOwner(UINT msg, WPARAM wParam) const;
    // Focus and capture requests that go out only while visible and enabled.
    void RequestFocus();
    void GiveUpFocus();
    void RequestCapture();
    void GiveUpCapture();

    RECT rect_{};
    RECT layoutRect_{};  // as the layout gave it, in 96-DPI pixels
    DisplayScale scale_;
    HWND owner_ = nullptr;
    bool visible_ = true;
    bool enabled_ = true;
    std::wstring name_;
};

// A control that reacts to clicks while it is visible and enabled: it asks its window for
// focus and capture, takes presses and hovers, and sends its action when a press on it is
// released on it. Leaving the control drops the press mark, so a press, leave and release
// elsewhere sends nothing.
class ClickableUIObjectImpl : public BaseUIObjectImpl {
public:
    void SetFocus() override { RequestFocus(); }
    void KillFocus() override { GiveUpFocus(); }
    void SetCapture() override { RequestCapture(); }
    void ReleaseCapture() override { GiveUpCapture(); }
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    // Clicks when pressed and an action is set, then shows the hover look.
    LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    // Only the leave after a move over the control counts.
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

    void SetAction(UINT action);

protected:
    bool Active() const { return visible_ && enabled_; }
    // Sends the action; wParam 0.
    virtual void Click();

    UINT actionMessage_ = 0;

private:
    bool pressed_ = false;
    bool hovering_ = false;
};

// The client point of a mouse message's lParam.
inline POINT PointFromLParam(LPARAM lParam) {
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

}  // namespace QPXUE
