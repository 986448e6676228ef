// Drawing primitives: skin images from resources at the window's scale, text brushes and
// fonts, the 32-bit surface.
#include "qpxdraw.h"

#include <wrl/client.h>

#include <cstring>

#include "qpxblend.h"
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

// The scales a product may ship an image at besides 100 %, as the DPI each is drawn for and
// the suffix of its resource type, the smallest first.
struct ImageScale {
    UINT dpi;
    const wchar_t* typeSuffix;
};
constexpr ImageScale kImageScales[] = {{kBaseDpi * 3 / 2, L"_150"}, {kBaseDpi * 2, L"_200"}};

constexpr float kPointsPerInch = 72.0f;

}  // namespace

ImageObject::ImageObject(IStream* stream) : Gdiplus::Bitmap(stream) {}

ImageObject::ImageObject(INT width, INT height) : Gdiplus::Bitmap(width, height, PixelFormat32bppPARGB) {}

ImageObject::~ImageObject() = default;

std::unique_ptr<ImageObject> ImageObject::Load(const wchar_t* resType, UINT resId, const DisplayScale& scale,
                                               int frames) {
    const Variant variant = ChooseVariant(resType, resId, scale);
    std::unique_ptr<ImageObject> decoded(new ImageObject(OpenResourceStream(variant.type.c_str(), resId).Get()));
    if (variant.dpi == scale.Dpi() || decoded->GetLastStatus() != Gdiplus::Ok) return decoded;
    const auto size = [&](UINT pixels) {
        const int scaled = MulDiv(static_cast<int>(pixels), static_cast<int>(scale.Dpi()),
                                  static_cast<int>(variant.dpi));
        return static_cast<UINT>(scaled > 0 ? scaled : 1);
    };
    // A strip that is no whole number of frames is resampled whole.
    const UINT width = decoded->GetWidth();
    if (frames < 1 || width % static_cast<UINT>(frames) != 0) frames = 1;
    const UINT frameWidth = size(width / static_cast<UINT>(frames));
    const UINT height = size(decoded->GetHeight());
    return Resampled(std::move(decoded), frames, frameWidth, height);
}

ImageObject::Variant ImageObject::ChooseVariant(const wchar_t* resType, UINT resId, const DisplayScale& scale) {
    Variant chosen{resType, kBaseDpi};
    if (scale.Dpi() <= kBaseDpi) return chosen;
    for (const ImageScale& candidate : kImageScales) {
        const std::wstring type = std::wstring(resType) + candidate.typeSuffix;
        if (!ProgramResource(type.c_str(), resId).Loaded()) continue;
        chosen = Variant{type, candidate.dpi};
        if (candidate.dpi >= scale.Dpi()) break;
    }
    return chosen;
}

std::unique_ptr<ImageObject> ImageObject::Resampled(std::unique_ptr<ImageObject> decoded, int frames, UINT frameWidth,
                                                    UINT height) {
    const auto targetWidth = static_cast<INT>(frameWidth);
    const auto targetHeight = static_cast<INT>(height);
    std::unique_ptr<ImageObject> resampled(new ImageObject(targetWidth * frames, targetHeight));
    if (resampled->GetLastStatus() != Gdiplus::Ok) return decoded;
    Gdiplus::Graphics graphics(resampled.get());
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    // A frame's edge pixels are sampled against themselves, not against transparency or its
    // neighbour's: each frame is resampled from a copy of its own.
    Gdiplus::ImageAttributes edges;
    edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    const auto sourceWidth = static_cast<INT>(decoded->GetWidth()) / frames;
    const auto sourceHeight = static_cast<INT>(decoded->GetHeight());
    for (int frame = 0; frame < frames; ++frame) {
        std::unique_ptr<Gdiplus::Bitmap> cut;
        Gdiplus::Image* source = decoded.get();
        if (frames > 1) {
            cut.reset(decoded->Clone(Gdiplus::Rect(frame * sourceWidth, 0, sourceWidth, sourceHeight),
                                     PixelFormat32bppARGB));
            if (!cut) return decoded;
            source = cut.get();
        }
        const Gdiplus::Rect destination(frame * targetWidth, 0, targetWidth, targetHeight);
        if (graphics.DrawImage(source, destination, 0, 0, sourceWidth, sourceHeight, Gdiplus::UnitPixel, &edges) !=
            Gdiplus::Ok)
            return decoded;
    }
    return resampled;
}

const Surface* ImageObject::Premultiplied() {
    if (calls_ < 2 && ++calls_ == 2) MakePremultiplied();
    return premultiplied_.get();
}

void ImageObject::MakePremultiplied() {
    calls_ = 2;
    if (premultiplied_) return;
    const auto width = static_cast<int>(GetWidth());
    const auto height = static_cast<int>(GetHeight());
    auto copy = std::make_unique<Surface>(nullptr, width, height);
    if (!copy->IsValid()) return;
    copy->GetGraphics().DrawImage(this, Gdiplus::RectF(0, 0, static_cast<Gdiplus::REAL>(width),
                                                       static_cast<Gdiplus::REAL>(height)),
                                  0, 0, static_cast<Gdiplus::REAL>(width), static_cast<Gdiplus::REAL>(height),
                                  Gdiplus::UnitPixel);
    copy->Flush();
    premultiplied_ = std::move(copy);
}

namespace {
SkinPreload* g_preload = nullptr;  // the live one
}  // namespace

SkinPreload::SkinPreload(SkinNames names, const DisplayScale& scale)
    : fontFamilies_(std::move(names.fontFamilies)), scale_(scale) {
    entries_.reserve(names.images.size());
    for (ImageName& name : names.images) entries_.push_back(Entry{std::move(name), nullptr});
    g_preload = this;
    thread_.reset(CreateThread(nullptr, 0, Preload, this, 0, nullptr));
    if (!thread_) {  // every taker decodes its own
        decoded_ = entries_.size();
        fontsDone_ = true;
    }
}

SkinPreload::~SkinPreload() {
    g_preload = nullptr;
    AcquireSRWLockExclusive(&lock_);
    stopping_ = true;
    ReleaseSRWLockExclusive(&lock_);
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI SkinPreload::Preload(void* parameter) {
    auto& preload = *static_cast<SkinPreload*>(parameter);
    auto stopping = [&preload] {
        AcquireSRWLockShared(&preload.lock_);
        const bool stopping = preload.stopping_;
        ReleaseSRWLockShared(&preload.lock_);
        return stopping;
    };
    for (Entry& entry : preload.entries_) {
        if (stopping()) return 0;
        std::unique_ptr<ImageObject> image;
        try {
            image = ImageObject::Load(entry.name.type.c_str(), entry.name.id, preload.scale_, entry.name.frames);
            if (image->GetLastStatus() != Gdiplus::Ok) {
                image.reset();
            } else if (entry.name.premultiply) {
                image->MakePremultiplied();
            }
        } catch (...) {  // the taker decodes it again and meets the failure itself
            image.reset();
        }
        AcquireSRWLockExclusive(&preload.lock_);
        entry.image = std::move(image);
        ++preload.decoded_;
        ReleaseSRWLockExclusive(&preload.lock_);
        WakeAllConditionVariable(&preload.progressed_);
    }
    for (const std::wstring& family : preload.fontFamilies_) {
        if (stopping()) return 0;
        const Gdiplus::FontFamily lookedUp(family.c_str());
    }
    AcquireSRWLockExclusive(&preload.lock_);
    preload.fontsDone_ = true;
    ReleaseSRWLockExclusive(&preload.lock_);
    WakeAllConditionVariable(&preload.progressed_);
    return 0;
}

template <typename Done>
void SkinPreload::AwaitLocked(Done done) {
    while (!done()) SleepConditionVariableSRW(&progressed_, &lock_, INFINITE, 0);
}

std::unique_ptr<ImageObject> SkinPreload::TakeImage(const wchar_t* resType, UINT resId,
                                                    const DisplayScale& scale, int frames) {
    if (g_preload == nullptr || g_preload->scale_ != scale) return nullptr;
    SkinPreload& preload = *g_preload;
    for (size_t i = 0; i < preload.entries_.size(); ++i) {
        Entry& entry = preload.entries_[i];
        // At its own scale an image is the same whatever its frames: it is not resampled.
        if (entry.taken || entry.name.id != resId || entry.name.type != resType ||
            (entry.name.frames != frames && !scale.IsBase()))
            continue;
        entry.taken = true;
        AcquireSRWLockExclusive(&preload.lock_);
        preload.AwaitLocked([&preload, i] { return preload.decoded_ > i; });
        std::unique_ptr<ImageObject> image = std::move(entry.image);
        ReleaseSRWLockExclusive(&preload.lock_);
        return image;
    }
    return nullptr;
}

void SkinPreload::AwaitFontFamilies() {
    if (g_preload == nullptr) return;
    SkinPreload& preload = *g_preload;
    AcquireSRWLockExclusive(&preload.lock_);
    preload.AwaitLocked([&preload] { return preload.fontsDone_; });
    ReleaseSRWLockExclusive(&preload.lock_);
}

std::unique_ptr<ImageObject> LoadImageResource(const wchar_t* resType, UINT resId, const DisplayScale& scale,
                                               int frames) {
    if (std::unique_ptr<ImageObject> image = SkinPreload::TakeImage(resType, resId, scale, frames)) return image;
    return ImageObject::Load(resType, resId, scale, frames);
}

void SkinImage::Load(const wchar_t* resType, UINT resId, const DisplayScale& scale, int frames, bool required) {
    if (resId == 0) {
        if (required) throw QPXException(E_FAIL);
        image_.reset();
        return;
    }
    image_ = LoadImageResource(resType, resId, scale, frames);
    type_ = resType;
    id_ = resId;
    frames_ = frames;
}

void SkinImage::Rescale(const DisplayScale& scale) {
    if (!image_) return;
    // The resource was there when the tree was built; only memory can fail now, and then the
    // image stays as it was, at the old scale, rather than the window losing its tree.
    try {
        image_ = LoadImageResource(type_.c_str(), id_, scale, frames_);
    } catch (const QPXException&) {
    }
}

std::unique_ptr<Gdiplus::SolidBrush> MakeTextBrush(COLORREF rgb) {
    const Gdiplus::Color color(254, GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
    return std::unique_ptr<Gdiplus::SolidBrush>(new Gdiplus::SolidBrush(color));
}

std::unique_ptr<Gdiplus::Font> MakeFont(const std::wstring& family, int size, int style, const DisplayScale& scale) {
    SkinPreload::AwaitFontFamilies();
    const Gdiplus::FontFamily named(family.c_str());
    // Null when the system has no generic sans-serif face either; no font is drawn then.
    const Gdiplus::FontFamily* sansSerif = Gdiplus::FontFamily::GenericSansSerif();
    const Gdiplus::FontFamily* chosen = named.IsAvailable() ? &named : sansSerif;
    // Points to pixels as GDI+ converts them for a surface of the scale's DPI.
    const Gdiplus::REAL emSize =
        static_cast<Gdiplus::REAL>(size) * static_cast<Gdiplus::REAL>(scale.Dpi()) / kPointsPerInch;
    std::unique_ptr<Gdiplus::Font> font;
    if (chosen != nullptr) font.reset(new Gdiplus::Font(chosen, emSize, style, Gdiplus::UnitPixel));
    if ((!font || font->GetLastStatus() != Gdiplus::Ok) && sansSerif != nullptr && chosen != sansSerif)
        font.reset(new Gdiplus::Font(sansSerif, emSize, style, Gdiplus::UnitPixel));
    return font;
}

void DrawString(Gdiplus::Graphics& graphics, const std::wstring& text, const Gdiplus::Font* font,
              const Gdiplus::Brush* brush, int x, int y, const Gdiplus::StringFormat* format, int width) {
    const Gdiplus::TextRenderingHint saved = graphics.GetTextRenderingHint();
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
    // A zero height (and without a format a zero width) leaves the text unclipped.
    const Gdiplus::RectF layout(static_cast<Gdiplus::REAL>(x), static_cast<Gdiplus::REAL>(y),
                                static_cast<Gdiplus::REAL>(format ? width : 0), 0);
    graphics.DrawString(text.c_str(), -1, font, layout, format, brush);
    graphics.SetTextRenderingHint(saved);
}

namespace {
const RECT* g_paintArea = nullptr;  // the live PaintArea's; none: the whole window
}  // namespace

PaintArea::PaintArea(const RECT& area) : area_(area) { g_paintArea = &area_; }

PaintArea::~PaintArea() { g_paintArea = nullptr; }

void PaintArea::ClipTo(Gdiplus::Graphics& graphics, const RECT& rect) {
    RECT clip = rect;
    if (g_paintArea != nullptr && !IntersectRect(&clip, &rect, g_paintArea)) SetRectEmpty(&clip);
    graphics.SetClip(ToRectF(clip), Gdiplus::CombineModeReplace);
}

void PaintArea::Unclip(Gdiplus::Graphics& graphics) {
    if (g_paintArea == nullptr) {
        graphics.ResetClip();
    } else {
        graphics.SetClip(ToRectF(*g_paintArea), Gdiplus::CombineModeReplace);
    }
}

bool PaintArea::Visible(const RECT& rect, RECT& visible) {
    if (g_paintArea == nullptr) {
        visible = rect;
        return !IsRectEmpty(&rect);
    }
    return IntersectRect(&visible, &rect, g_paintArea) != FALSE;
}

namespace {

// The top-down rows of the DIB section selected into `dc`; false for any other bitmap.
bool DibRows(HDC dc, uint32_t*& top, long& stride, int& width, int& height) {
    DIBSECTION section;
    const auto bitmap = static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP));
    if (GetObjectW(bitmap, sizeof(section), &section) != sizeof(section) || section.dsBm.bmBits == nullptr ||
        section.dsBm.bmBitsPixel != 32)
        return false;
    width = section.dsBm.bmWidth;
    height = section.dsBm.bmHeight;
    const long rowPixels = section.dsBm.bmWidthBytes / 4;
    auto* bits = static_cast<uint32_t*>(section.dsBm.bmBits);
    const bool bottomUp = section.dsBmih.biHeight > 0;
    top = bottomUp ? bits + (height - 1) * rowPixels : bits;
    stride = bottomUp ? -rowPixels : rowPixels;
    return true;
}

// Premultiplied `source` pixels from (sourceX, sourceY) at constant opacity `constant` over
// `part` of the DIB section of `target`, within its clip rectangle: GDI's sums, done here
// because GDI takes several times as long below full opacity, which every step of a
// cross-fade is. False when the target is no 32-bit DIB section or its clip is not one
// rectangle.
bool BlendOver(HDC target, const RECT& part, const Surface& source, int sourceX, int sourceY, uint32_t constant) {
    uint32_t* top;
    long stride;
    int width, height;
    RECT clip;
    if (!DibRows(target, top, stride, width, height) || GetClipBox(target, &clip) != SIMPLEREGION) return false;
    POINT origin;
    if (!GetViewportOrgEx(target, &origin) || origin.x != 0 || origin.y != 0) return false;
    const RECT bounds{0, 0, width, height};
    RECT area;
    if (!IntersectRect(&area, &part, &clip) || !IntersectRect(&area, &area, &bounds)) return true;
    GdiFlush();
    static const auto row = IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) ? BlendRowSse2 : BlendRow;
    for (int y = area.top; y < area.bottom; ++y)
        row(source.Row(sourceY + y - part.top) + sourceX + area.left - part.left, top + y * stride + area.left,
            area.right - area.left, constant);
    return true;
}

}  // namespace

void DrawPart(Gdiplus::Graphics& graphics, ImageObject* image, const RECT& part, int sourceX, int sourceY,
              float opacity) {
    if (image == nullptr || IsRectEmpty(&part) || opacity <= 0.0f) return;
    const Surface* pixels = image->Premultiplied();
    if (pixels != nullptr && sourceX >= 0 && sourceY >= 0 && sourceX + Width(part) <= pixels->Width() &&
        sourceY + Height(part) <= pixels->Height()) {
        const ClippedDc target(graphics);
        const auto constant = static_cast<BYTE>(opacity >= 1.0f ? 255 : opacity * 255.0f + 0.5f);
        if (BlendOver(target.get(), part, *pixels, sourceX, sourceY, constant)) return;
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, constant, AC_SRC_ALPHA};
        GdiAlphaBlend(target.get(), part.left, part.top, Width(part), Height(part), pixels->GetDC(), sourceX, sourceY,
                      Width(part), Height(part), blend);
        return;
    }
    // Beyond the image's edges GDI+ decides what shows.
    const Gdiplus::RectF destination = ToRectF(part);
    Gdiplus::ImageAttributes attributes;
    Gdiplus::ColorMatrix matrix = {
        {{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, opacity, 0}, {0, 0, 0, 0, 1}}};
    attributes.SetColorMatrix(&matrix);
    graphics.DrawImage(image, destination, static_cast<Gdiplus::REAL>(sourceX), static_cast<Gdiplus::REAL>(sourceY),
                       destination.Width, destination.Height, Gdiplus::UnitPixel,
                       opacity >= 1.0f ? nullptr : &attributes);
}

void DrawFrame(Gdiplus::Graphics& graphics, ImageObject* image, int frame, const RECT& rect) {
    RECT part;
    if (!PaintArea::Visible(rect, part) || image == nullptr) return;
    int frameLeft = frame * Width(rect);
    const int stripWidth = static_cast<int>(image->GetWidth());
    if (frame > 0 && Width(rect) > 0 && stripWidth % Width(rect) != 0) {
        const int frames = (stripWidth + Width(rect) / 2) / Width(rect);
        if (frames > 0) frameLeft = MulDiv(frame, stripWidth, frames);
    }
    // A 1:1 copy: the part inside the area gives the same pixels as the whole would there.
    DrawPart(graphics, image, part, frameLeft + part.left - rect.left, part.top - rect.top, 1.0f);
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

ClippedDc::ClippedDc(Gdiplus::Graphics& graphics) : graphics_(graphics) {
    Gdiplus::Region clip;
    graphics.GetClip(&clip);
    UniqueGdiObject region(clip.GetHRGN(&graphics));  // null for an unclipped graphics
    dc_ = graphics.GetHDC();
    ExtSelectClipRgn(dc_, static_cast<HRGN>(region.get()), RGN_COPY);
}

ClippedDc::~ClippedDc() {
    ExtSelectClipRgn(dc_, nullptr, RGN_COPY);
    graphics_.ReleaseHDC(dc_);
}

}  // namespace QPXUE
