// The cross-fading carousel and the three-slice progress bar.
#include "qpxanimation.h"

#include "qpxexception.h"
#include "qpxlog.h"
#include "qpxmessages.h"

namespace QPXUE {
namespace {

// The single-precision constant 66.666664 (0x42855555): one fade tick's share of a second
// scaled so that step = tick / fade interval.
constexpr float kFadeTickMs = 66.666664f;
constexpr WPARAM kFadeTimerPeriod = 0x42;  // ms, in the high word of the request

}  // namespace

int CarouselUIObjectImpl::Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) {
    InitBase(owner, rect);
    image_.Load(resType, resId, scale_, frameCount_);
    return 0;
}

void CarouselUIObjectImpl::SendTimerRequest(UINT msg, WPARAM wParam) {
    // The window keeps the animation interface, not the UI object.
    IQPXBaseAnimationObject* self = this;
    SendMessageW(owner_, msg, wParam, reinterpret_cast<LPARAM>(self));
}

void CarouselUIObjectImpl::Play() {
    if (playing_) return;
    LogLine(L"QPXUE::CarouselUIObjectImpl::Play");
    fadeStep_ = kFadeTickMs / static_cast<float>(fadeInterval_);
    LogLine(L"Fade:%0.2f\r\n", static_cast<double>(fadeStep_));
    SendTimerRequest(QPXUM_SETANIMATIONTIMER,
                     (static_cast<WPARAM>(LOWORD(interval_)) << 16) | slideTimer_);
    playing_ = true;
}

void CarouselUIObjectImpl::Stop() {
    if (!playing_) return;
    playing_ = false;
    LogLine(L"QPXUE::CarouselUIObjectImpl::Stop");
    SendTimerRequest(QPXUM_KILLANIMATIONTIMER, fadeTimer_);
    SendTimerRequest(QPXUM_KILLANIMATIONTIMER, slideTimer_);
}

void CarouselUIObjectImpl::OnTimer(UINT index) {
    LogLine(L"QPXUE::CarouselUIObjectImpl::OnTimer %d", index);
    if (index == slideTimer_) {
        SendTimerRequest(QPXUM_SETANIMATIONTIMER, (kFadeTimerPeriod << 16) | fadeTimer_);
    } else if (index == fadeTimer_) {
        alpha_ -= fadeStep_;
        if (alpha_ > 0.0f) return;
        alpha_ = 1.0f;
        currentFrame_ = (currentFrame_ + 1) % frameCount_;
        SendTimerRequest(QPXUM_KILLANIMATIONTIMER, fadeTimer_);
    }
}

void CarouselUIObjectImpl::DrawFrameWithAlpha(Gdiplus::Graphics& graphics, int frame, float alpha) {
    // Between fades the next frame is fully transparent: it is skipped.
    RECT part;
    if (alpha <= 0.0f || !PaintArea::Visible(rect_, part)) return;
    const int frameLeft = static_cast<int>(frame * (static_cast<float>(image_->GetWidth()) / frameCount_));
    DrawPart(graphics, image_.get(), part, frameLeft + part.left - rect_.left, part.top - rect_.top, alpha);
}

int CarouselUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (!visible_ || !image_ || frameCount_ <= 0) return 0;
    DrawFrameWithAlpha(graphics, currentFrame_, alpha_);
    DrawFrameWithAlpha(graphics, (currentFrame_ + 1) % frameCount_, 1.0f - alpha_);
    return 0;
}

int ProgressUIObjectImpl::Init(HWND owner, const RECT& rect, UINT resId, const wchar_t* resType) {
    InitBase(owner, rect);
    background_.Load(resType, resId, scale_);
    return 0;
}

void ProgressUIObjectImpl::SetFillImage(const wchar_t* resType, UINT resId) { fill_.Load(resType, resId, scale_); }

void ProgressUIObjectImpl::SetFillRect(const RECT& rect) {
    layoutFillRect_ = rect;
    fillRect_ = scale_.Px(rect);
}

void ProgressUIObjectImpl::SetSlices(int left, int right) {
    layoutLeftSlice_ = left;
    layoutRightSlice_ = right;
}

void ProgressUIObjectImpl::SetScale(const DisplayScale& scale) {
    BaseUIObjectImpl::SetScale(scale);
    fillRect_ = scale.Px(layoutFillRect_);
    background_.Rescale(scale);
    fill_.Rescale(scale);
}

void ProgressUIObjectImpl::SetRect(int left, int top, int, int) {
    const int dx = left - rect_.left;
    const int dy = top - rect_.top;
    OffsetRect(&rect_, dx, dy);
    OffsetRect(&fillRect_, dx, dy);
}

void ProgressUIObjectImpl::StepProgress() {
    if (position_ < 100) ++position_;
}

int ProgressUIObjectImpl::Draw(Gdiplus::Graphics& graphics) {
    if (!visible_) return 0;
    DrawFrame(graphics, background_.get(), 0, rect_);
    if (!fill_) return 0;
    const int fillWidth = Width(fillRect_);
    const int fillHeight = Height(fillRect_);
    const int imageWidth = static_cast<int>(fill_->GetWidth());
    const int imageHeight = static_cast<int>(fill_->GetHeight());
    const int leftSlice = scale_.Px(layoutLeftSlice_);
    const int rightSlice = scale_.Px(layoutRightSlice_);
    graphics.DrawImage(fill_.get(), fillRect_.left, fillRect_.top, 0, 0, leftSlice, fillHeight,
                       Gdiplus::UnitPixel);
    const float fill = (fillWidth - leftSlice - rightSlice) / 100.0f * position_;
    const Gdiplus::RectF destination(static_cast<Gdiplus::REAL>(fillRect_.left + leftSlice),
                                     static_cast<Gdiplus::REAL>(fillRect_.top), fill,
                                     static_cast<Gdiplus::REAL>(fillHeight));
    const Gdiplus::RectF source(static_cast<Gdiplus::REAL>(leftSlice), 0,
                                static_cast<Gdiplus::REAL>(imageWidth - leftSlice - rightSlice),
                                static_cast<Gdiplus::REAL>(imageHeight));
    DrawStretched(graphics, fill_.get(), destination, source);
    // The right cap overlaps the middle's last pixel so no seam shows between them.
    const int capX = static_cast<int>(fill + fillRect_.left + leftSlice - 1.0f);
    graphics.DrawImage(fill_.get(), capX, fillRect_.top, imageWidth - rightSlice, 0, rightSlice,
                       fillHeight, Gdiplus::UnitPixel);
    return 0;
}

}  // namespace QPXUE
