// The everyday controls: buttons, check boxes, labels, link labels, pictures, and the
// caption, vertical and grid container variants.
#pragma once

#include <memory>
#include <string>

#include "qpxcontainer.h"
#include "qpxdraw.h"
#include "qpxmessages.h"
#include "qpxuiobject.h"

namespace QPXUE {

// Text, font and brush of a text-showing control; each setter replaces what it owned.
class TextPart {
public:
    void SetText(const std::wstring& text) { text_ = text; }
    const std::wstring& GetText() const { return text_; }
    // rgb as RGB(r, g, b); drawn with alpha 254.
    void SetTextColor(COLORREF rgb) { brush_ = MakeTextBrush(rgb); }
    void SetFont(const std::wstring& face, int size, int style) {
        font_ = MakeFont(face, size, style);
    }
    bool HasFont() const { return font_ != nullptr; }
    void Draw(Gdiplus::Graphics& graphics, int x, int y) const {
        QPXUE::DrawString(graphics, text_, font_.get(), brush_.get(), x, y);
    }

private:
    std::wstring text_;
    std::unique_ptr<Gdiplus::Font> font_;
    std::unique_ptr<Gdiplus::SolidBrush> brush_;
};

// A push button drawn from a strip of 4 frames: normal, hover, pressed, disabled.
class ButtonUIObjectImpl : public ClickableUIObjectImpl {
public:
    enum State { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

    int Draw(Gdiplus::Graphics& graphics) override;
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    bool IsEnabled() const override { return state_ != kDisabled; }
    void SetEnabled(bool enabled) override;
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

    int GetState() const { return state_; }

private:
    std::unique_ptr<ImageObject> image_;
    int state_ = kNormal;
};

// A check box: a strip of 6 frames (see State) in the check rect, and an optional text at the
// label rect's top-left. Without text the frames cover the whole rect.
class CheckBoxUIObjectImpl : public ClickableUIObjectImpl {
public:
    enum State {
        kUnchecked = 0, kUncheckedDisabled = 1, kUncheckedHover = 2,
        kChecked = 3, kCheckedDisabled = 4, kCheckedHover = 5
    };

    int Draw(Gdiplus::Graphics& graphics) override;
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    // Translates the check and label rects by the move of the top-left corner.
    void SetRect(int left, int top, int right, int bottom) override;
    bool IsEnabled() const override { return state_ != kUncheckedDisabled && state_ != kCheckedDisabled; }
    void SetEnabled(bool enabled) override;
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

    // Keeps the enabled state.
    void SetChecked(bool checked);
    bool IsChecked() const { return state_ > kUncheckedHover; }
    int GetState() const { return state_; }
    void SetCheckRect(const RECT& rect) { checkRect_ = rect; }
    void SetLabelRect(const RECT& rect) { labelRect_ = rect; }
    void SetText(const std::wstring& text) { text_.SetText(text); }
    const std::wstring& GetText() const { return text_.GetText(); }
    void SetTextColor(COLORREF rgb) { text_.SetTextColor(rgb); }
    void SetFont(const std::wstring& face, int size, bool bold);

private:
    // Toggles, then sends the action with wParam 1 when now checked, else 0.
    void Click() override;
    void ShowState(bool checked, bool enabled);

    RECT checkRect_{};
    RECT labelRect_{};
    std::unique_ptr<ImageObject> image_;
    TextPart text_;
    int state_ = kUnchecked;
};

// Static text at the rect's top-left; answers no events. Takes no image.
class LabelUIObjectImpl : public BaseUIObjectImpl {
public:
    int Draw(Gdiplus::Graphics& graphics) override;
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    bool IsEnabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }

    void SetText(const std::wstring& text) { text_.SetText(text); }
    const std::wstring& GetText() const { return text_.GetText(); }
    void SetTextColor(COLORREF rgb) { text_.SetTextColor(rgb); }
    void SetFont(const std::wstring& face, int size, bool bold);

private:
    TextPart text_;
    bool enabled_ = true;
};

// Underlined text that sends its action when clicked and shows the hand cursor.
class LinkLabelUIObjectImpl : public ClickableUIObjectImpl {
public:
    LinkLabelUIObjectImpl();
    int Draw(Gdiplus::Graphics& graphics) override;
    // Any non-zero resId raises QPXException(E_FAIL).
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    bool IsEnabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override;
    LRESULT OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, int x, int y,
                        BOOL& handled) override;

    void SetText(const std::wstring& text) { text_.SetText(text); }
    const std::wstring& GetText() const { return text_.GetText(); }
    void SetTextColor(COLORREF rgb) { text_.SetTextColor(rgb); }
    // Always underlined in addition.
    void SetFont(const std::wstring& face, int size, bool bold);

private:
    TextPart text_;
    HCURSOR cursor_;  // shared system cursor, not owned
    bool enabled_ = true;
};

// The whole image stretched into the rect; answers no events.
class PictureUIObjectImpl : public BaseUIObjectImpl {
public:
    int Draw(Gdiplus::Graphics& graphics) override;
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    bool IsEnabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }

protected:
    std::unique_ptr<ImageObject> image_;
    bool enabled_ = true;
};

// The drag area of a window: a press that no child takes moves the window.
class CaptionContainerUIObjectImpl : public ContainerUIObjectImpl {
public:
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
};

// Stacks its visible child containers in `rows` equal slots each time it is drawn. It draws
// nothing else. rows must be positive (the layout loader rejects 0).
class VerticalContainerUIObjectImpl : public ContainerUIObjectImpl {
public:
    int Draw(Gdiplus::Graphics& graphics) override;
    void SetRows(int rows) { rows_ = rows; }

private:
    int rows_ = 0;
};

// Places its visible child containers on a grid of cells, by rows or (vertical) by columns,
// each time it is drawn. Columns and rows must be positive (the layout loader rejects 0).
class GridContainerUIObjectImpl : public ContainerUIObjectImpl {
public:
    int Draw(Gdiplus::Graphics& graphics) override;
    void SetColumns(int columns);
    void SetRows(int rows);
    void SetVertical(bool vertical) { vertical_ = vertical; }

private:
    int columns_ = 0;
    int rows_ = 0;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    bool vertical_ = false;
};

}  // namespace QPXUE
