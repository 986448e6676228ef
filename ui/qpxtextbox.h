// The editable text box: a frame strip and a windowless rich-edit control drawn onto the
// window surface, with a drawn caret (a layered window never shows the system caret).
#pragma once

#include <wrl/client.h>

#include <memory>
#include <string>

#include "qpxdraw.h"
#include "qpxuiobject.h"

namespace QPXUE {

class CTxtWinHost;

class TextBoxUIObjectImpl : public BaseUIObjectImpl {
public:
    enum Frame { kNormal = 0, kFocused = 1, kDisabled = 2 };  // kFocused: hover or focus
    static constexpr int kFrames = 3;

    TextBoxUIObjectImpl();
    ~TextBoxUIObjectImpl() override;

    int Draw(Gdiplus::Graphics& graphics) override;
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    // Keeps the client rect's ratio to the rect and centres it; the host keeps its area.
    void SetRect(int left, int top, int right, int bottom) override;
    // The rects, the frame strip, the text area, the font and the caret follow the scale; the
    // text, its selection and the focus stay.
    void SetScale(const DisplayScale& scale) override;
    // Either way the box shows its normal frame afterwards.
    void SetEnabled(bool enabled) override;
    // The text host follows: hidden, it draws no caret and takes no input or drops.
    void SetVisible(bool visible) override;
    // Mouse events go to the text services; moves and leaves also change the frame.
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override {
        return ForwardMouse(msg, wParam, lParam, handled);
    }
    LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override {
        return ForwardMouse(msg, wParam, lParam, handled);
    }
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override {
        return ForwardMouse(msg, wParam, lParam, handled);
    }
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, int x, int y,
                        BOOL& handled) override;
    LRESULT OnCaptureLost() override;
    void SetFocus() override;
    void KillFocus() override;
    void SetCapture() override;
    void ReleaseCapture() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // In the layout's pixels, as Init's rect.
    void SetClientRect(const RECT& rect);
    RECT GetClientRect() const { return clientRect_; }
    // Builds the text host over the client rect. Raises QPXException when the text services
    // cannot be created or activated.
    void CreateHost();
    bool IsHostReady() const { return hostReady_; }
    void SetTextColor(COLORREF rgb);
    // `size` points at the box's scale.
    void SetFont(const std::wstring& face, int size, bool bold);
    // 0 means 65536.
    void SetMaxLength(int maxChars);
    void SetMultiLine(bool multiLine);
    void SetText(const std::wstring& text);
    // Empty before the host exists.
    std::wstring GetText() const;
    // The frame shown: kDisabled while disabled, else the one focus and hover left.
    int GetFrame() const { return enabled_ ? frame_ : kDisabled; }
    bool IsFocused() const { return focused_; }
    bool IsCaretShown() const { return caretShown_; }

private:
    bool Active() const { return visible_ && hostReady_ && enabled_; }
    // Hands msg to the host's window procedure; handled unless the key was ignored.
    LRESULT Forward(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    // A mouse event: forwarded while the box is active, otherwise not handled.
    LRESULT ForwardMouse(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    void DrawServicesText(Gdiplus::Graphics& graphics);
    // The host's font for the face, size and weight last set, at the box's scale; nothing
    // before SetFont.
    void ApplyFont();

    RECT clientRect_{};
    RECT layoutClientRect_{};
    std::wstring fontFace_;
    int fontSize_ = 0;
    bool fontBold_ = false;
    bool fontSet_ = false;
    bool caretShown_ = false;
    bool tracking_ = false;
    bool focused_ = false;
    bool hostReady_ = false;
    int frame_ = kNormal;  // kNormal or kFocused
    Microsoft::WRL::ComPtr<CTxtWinHost> host_;
    SkinImage image_;
};

}  // namespace QPXUE
