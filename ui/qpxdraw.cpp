// Drawing primitives: skin images from resources, text brushes and fonts, the 32-bit surface.
#include "qpxdraw.h"

#include <wrl/client.h>

#include <cstring>

#include "qpxexception.h"
#include "qpxresource.h"

namespace QPXUE {
namespace {

using Microsoft::WRL::ComPtr;

// The resource's bytes in a stream that owns a private copy of them. Raises E_FAIL when
// the resource cannot be found, loaded or locked.
ComPtr<IStream> OpenResourceStream(const wchar_t* resType, UINT resId) {
    const ProgramResource resource(resType, resId);
    if (resource.Data() == nullptr) throw QPXException(E_FAIL);
    const DWORD size = resource.Size();
    UniqueGlobalMemory copy(GlobalAlloc(GMEM_FIXED, size));
    if (!copy) throw QPXException(E_OUTOFMEMORY);
    std::memcpy(GlobalLock(copy.get()), resource.Data(), size);
    GlobalUnlock(copy.get());
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(copy.get(), TRUE, &stream))) throw QPXException(E_FAIL);
    copy.release();  // the stream frees it
    return stream;
}

}  // namespace

ImageObject::ImageObject(const wchar_t* resType, UINT resId)
    : Gdiplus::Image(OpenResourceStream(resType, resId).Get()) {}

std::unique_ptr<ImageObject> LoadRequiredImage(const wchar_t* resType, UINT resId) {
    if (resId == 0) throw QPXException(E_FAIL);
    return std::unique_ptr<ImageObject>(new ImageObject(resType, resId));
}

std::unique_ptr<Gdiplus::SolidBrush> MakeTextBrush(COLORREF rgb) {
    const Gdiplus::Color color(254, GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
    return std::unique_ptr<Gdiplus::SolidBrush>(new Gdiplus::SolidBrush(color));
}

std::unique_ptr<Gdiplus::Font> MakeFont(const std::wstring& family, int size, int style) {
    const Gdiplus::FontFamily named(family.c_str());
    // Null when the system has no generic sans-serif face either; no font is drawn then.
    const Gdiplus::FontFamily* sansSerif = Gdiplus::FontFamily::GenericSansSerif();
    const Gdiplus::FontFamily* chosen = named.IsAvailable() ? &named : sansSerif;
    const auto emSize = static_cast<Gdiplus::REAL>(size);
    std::unique_ptr<Gdiplus::Font> font;
    if (chosen != nullptr) font.reset(new Gdiplus::Font(chosen, emSize, style, Gdiplus::UnitPoint));
    if ((!font || font->GetLastStatus() != Gdiplus::Ok) && sansSerif != nullptr && chosen != sansSerif)
        font.reset(new Gdiplus::Font(sansSerif, emSize, style, Gdiplus::UnitPoint));
    return font;
}

void DrawString(Gdiplus::Graphics& graphics, const std::wstring& text, const Gdiplus::Font* font,
              const Gdiplus::Brush* brush, int x, int y) {
    const Gdiplus::TextRenderingHint saved = graphics.GetTextRenderingHint();
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
    const Gdiplus::RectF layout(static_cast<Gdiplus::REAL>(x), static_cast<Gdiplus::REAL>(y), 0, 0);
    graphics.DrawString(text.c_str(), -1, font, layout, nullptr, brush);
    graphics.SetTextRenderingHint(saved);
}

void DrawFrame(Gdiplus::Graphics& graphics, Gdiplus::Image* image, int frame, const RECT& rect) {
    if (image == nullptr) return;
    const Gdiplus::RectF destination = ToRectF(rect);
    graphics.DrawImage(image, destination, static_cast<Gdiplus::REAL>(frame * Width(rect)), 0,
                       destination.Width, destination.Height, Gdiplus::UnitPixel);
}

void DrawStretched(Gdiplus::Graphics& graphics, Gdiplus::Image* image,
                   const Gdiplus::RectF& destination, const Gdiplus::RectF& source) {
    if (image == nullptr) return;
    const Gdiplus::InterpolationMode saved = graphics.GetInterpolationMode();
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.DrawImage(image, destination, source.X, source.Y, source.Width, source.Height,
                       Gdiplus::UnitPixel);
    graphics.SetInterpolationMode(saved);
}

Surface::Surface(HDC reference, int width, int height)
    : width_(width), height_(height), dc_(CreateCompatibleDC(reference)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // positive: bottom-up rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    if (!dc_ || width <= 0 || height <= 0) return;
    bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap_) return;
    bits_ = static_cast<uint32_t*>(bits);
    oldBitmap_ = SelectObject(dc_.get(), bitmap_.get());
    graphics_.reset(new Gdiplus::Graphics(dc_.get()));
}

Surface::~Surface() {
    graphics_.reset();
    if (oldBitmap_ != nullptr) SelectObject(dc_.get(), oldBitmap_);
}

uint32_t* Surface::Row(int y) const { return bits_ + static_cast<size_t>(height_ - 1 - y) * width_; }

uint32_t Surface::Pixel(int x, int y) const {
    if (bits_ == nullptr || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return Row(y)[x];
}

void Surface::Flush() {
    if (graphics_) graphics_->Flush(Gdiplus::FlushIntentionSync);
    GdiFlush();
}

}  // namespace QPXUE
