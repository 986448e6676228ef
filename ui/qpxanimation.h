// The cross-fading carousel and the three-slice progress bar.
#pragma once

#include <memory>

#include "qpxcontrols.h"
#include "qpxuiobject.h"

namespace QPXUE {

// A slide show over the frames of one strip: every `interval` ms it cross-fades from the
// current frame to the next in steps of one 66 ms fade tick. It asks its window for two
// timers (slide and fade) with QPXUM_SETANIMATIONTIMER, by the indices its window's tree gave
// it; the window stops it (Stop) before it destroys the tree.
class CarouselUIObjectImpl : public PictureUIObjectImpl, public IQPXBaseAnimationObject {
public:
    int Draw(Gdiplus::Graphics& graphics) override;
    // Its image is a strip of its frames: the frame count is set before.
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    void Play() override;
    void Stop() override;
    void OnTimer(UINT index) override;
    RECT AnimatedArea() const override { return rect_; }

    // count must be positive (the layout loader rejects 0).
    void SetFrameCount(int count) { frameCount_ = count; }
    void ResetFrame() { currentFrame_ = 0; }
    void SetInterval(UINT ms) { interval_ = ms; }
    void SetFadeInterval(UINT ms) { fadeInterval_ = ms; }
    // The two animation timer indices of this carousel among its window's.
    void SetTimerIndices(WORD slide, WORD fade) {
        slideTimer_ = slide;
        fadeTimer_ = fade;
    }
    int GetCurrentFrame() const { return currentFrame_; }
    float GetAlpha() const { return alpha_; }
    float GetFadeStep() const { return fadeStep_; }
    UINT GetSlideTimerIndex() const { return slideTimer_; }
    UINT GetFadeTimerIndex() const { return fadeTimer_; }
    bool IsPlaying() const { return playing_; }

private:
    void SendTimerRequest(UINT msg, WPARAM wParam);
    void DrawFrameWithAlpha(Gdiplus::Graphics& graphics, int frame, float alpha);

    int frameCount_ = 1;
    int currentFrame_ = 0;
    float alpha_ = 1.0f;
    float fadeStep_ = 0.1f;
    UINT fadeInterval_ = 500;
    UINT interval_ = 1000;
    WORD slideTimer_ = 0;
    WORD fadeTimer_ = 0;
    bool playing_ = false;
};

// A background image with a fill drawn over the fill rect: spl and spr columns of the fill
// image stay unscaled at the ends, the middle is stretched to the position (0 to 100).
class ProgressUIObjectImpl : public BaseUIObjectImpl {
public:
    int Draw(Gdiplus::Graphics& graphics) override;
    int Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) override;
    // Translates both rects by the move of the top-left corner; the size never changes.
    void SetRect(int left, int top, int right, int bottom) override;
    // The fill rect, the slices and both images too come anew from the layout's.
    void SetScale(const DisplayScale& scale) override;

    // Position + 1, at most 100.
    void StepProgress();
    int GetPosition() const { return position_; }
    // The fill rect and the slices in the layout's pixels, as Init's rect.
    void SetFillRect(const RECT& rect);
    // All it may draw on: its rect and the fill's, which may reach beyond it.
    RECT DrawnArea() const {
        RECT area;
        UnionRect(&area, &rect_, &fillRect_);
        return area;
    }
    void SetSlices(int left, int right);
    // Raises QPXException(E_FAIL) when the fill image is missing (resId 0 included).
    void SetFillImage(const wchar_t* resType, UINT resId);

private:
    RECT fillRect_{};
    RECT layoutFillRect_{};
    SkinImage background_;
    SkinImage fill_;
    int layoutLeftSlice_ = 0;
    int layoutRightSlice_ = 0;
    int position_ = 0;
};

}  // namespace QPXUE
