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
    // An underlined part underlines every font it is given.
    explicit TextPart(bool underlined) : underlined_(underlined) {}

    void SetText(const std::wstring& text) { text_ = text; }
    const std::wstring& GetText() const { return text_; }
    // rgb as RGB(r, g, b); drawn with alpha 254.
    void SetTextColor(COLORREF rgb) { brush_ = MakeTextBrush(rgb); }
    // `size` points at `scale`.
    void SetFont(const std::wstring& face, int size, bool bold, const DisplayScale& scale);
    // The same font at another scale; nothing before SetFont.
    void Rescale(const DisplayScale& scale);
    const std::wstring& GetFace() const { return face_; }
    // Another face at the same size and weight; nothing before SetFont.
    void SetFace(const std::wstring& face, const DisplayScale& scale);
    void Draw(Gdiplus::Graphics& graphics, int x, int y, const Gdiplus::StringFormat* format = nullptr,
              int width = 0) const {
        QPXUE::DrawString(graphics, text_, font_.get(), brush_.get(), x, y, format, width);
    }

private:
    bool underlined_;
    std::wstring face_;
    int size_ = 0;
    bool bold_ = false;
    std::wstring text_;
    std::unique_ptr<Gdiplus::Font> font_;
    std::unique_ptr<Gdiplus::SolidBrush> brush_;
};

// A control of class `Control` that shows a text: the forwarders to its text part, the same
// for every such control. Its font follows the control's scale.
template <typename Control>
class TextControl : public Control {
public:
    void SetText(const std::wstring& text) { text_.SetText(text); }
    const std::wstring& GetText() const { return text_.GetText(); }
    void SetTextColor(COLORREF rgb) { text_.SetTextColor(rgb); }
    void SetFont(const std::wstring& face, int size, bool bold) { text_.SetFont(face, size, bold, this->scale_); }
    const std::wstring& GetFontFace() const { return text_.GetFace(); }
    void SetFontFace(const std::wstring& face) { text_.SetFace(face, this->scale_); }
    void SetScale(const DisplayScale& scale) override {
        Control::SetScale(scale);
        text_.Rescale(scale);
    }

protected:
    explicit TextControl(bool underlined = false) : text_(underlined) {}

    TextPart text_;
};

// A push button drawn from a strip of 4 frames: normal, hover, pressed, disabled.
class ButtonUIObjectImpl : public ClickableUIObjectImpl {
public:
    enum State { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };
    static constexpr int kFrames = 4;

    int Draw(Gdiplus::Graphics& graphics) override;
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    void SetScale(const DisplayScale& scale) override;
    // Either way the button shows its normal look afterwards.
    void SetEnabled(bool enabled) override;
    LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

    // The frame shown: kDisabled while disabled, else the look the mouse left.
    int GetState() const { return enabled_ ? look_ : kDisabled; }

private:
    SkinImage image_;
    int look_ = kNormal;  // kNormal, kHover or kPressed
};

// A check box: a strip of 6 frames (see State) in the check rect, and an optional text at the
// label rect's top-left. Without text the frames cover the whole rect.
class CheckBoxUIObjectImpl : public TextControl<ClickableUIObjectImpl> {
public:
    enum State {
        kUnchecked = 0, kUncheckedDisabled = 1, kUncheckedHover = 2,
        kChecked = 3, kCheckedDisabled = 4, kCheckedHover = 5
    };
    static constexpr int kFrames = 6;

    int Draw(Gdiplus::Graphics& graphics) override;
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    // Translates the check and label rects by the move of the top-left corner.
    void SetRect(int left, int top, int right, int bottom) override;
    // The check and label rects too come anew from the layout's.
    void SetScale(const DisplayScale& scale) override;
    // Drops the hover look; keeps the check.
    void SetEnabled(bool enabled) override;
    LRESULT OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
    LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

    // Drops the hover look; keeps the enabled state.
    void SetChecked(bool checked);
    bool IsChecked() const { return checked_; }
    // The frame shown, from the check, the enabled state and the hover look.
    int GetState() const;
    // In the layout's pixels, as Init's rect.
    void SetCheckRect(const RECT& rect);
    void SetLabelRect(const RECT& rect);

private:
    // Toggles, then sends the action with wParam 1 when now checked, else 0.
    void Click() override;

    RECT checkRect_{};
    RECT labelRect_{};
    RECT layoutCheckRect_{};
    RECT layoutLabelRect_{};
    SkinImage image_;
    bool checked_ = false;
    bool hoverLook_ = false;
};

// Static text at the rect's top-left, or centred across the rect's width; answers no events
// (a label over a button leaves its clicks to the button). Takes no image.
class LabelUIObjectImpl : public TextControl<BaseUIObjectImpl> {
public:
    int Draw(Gdiplus::Graphics& graphics) override;
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    void SetCentred(bool centred);

private:
    std::unique_ptr<Gdiplus::StringFormat> centred_;  // none: drawn from the left
};

// Underlined text (whatever its font) that sends its action when clicked and shows the hand
// cursor.
class LinkLabelUIObjectImpl : public TextControl<ClickableUIObjectImpl> {
public:
    LinkLabelUIObjectImpl();
    int Draw(Gdiplus::Graphics& graphics) override;
    // Any non-zero resId raises QPXException(E_FAIL).
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    LRESULT OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, int x, int y,
                        BOOL& handled) override;

private:
    HCURSOR cursor_;  // shared system cursor, not owned
};

// The whole image stretched into the rect; answers no events.
class PictureUIObjectImpl : public BaseUIObjectImpl {
public:
    int Draw(Gdiplus::Graphics& graphics) override;
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    void SetScale(const DisplayScale& scale) override;

protected:
    SkinImage image_;
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
    void SetColumns(int columns) { columns_ = columns; }
    void SetRows(int rows) { rows_ = rows; }
    void SetVertical(bool vertical) { vertical_ = vertical; }

private:
    int columns_ = 0;
    int rows_ = 0;
    bool vertical_ = false;
};

}  // namespace QPXUE
