// Drawing primitives: skin images from resources at the window's scale, text brushes and
// fonts, the 32-bit surface.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qpxhandle.h"
#include "qpxscale.h"

namespace QPXUE {

inline int Width(const RECT& r) { return r.right - r.left; }
inline int Height(const RECT& r) { return r.bottom - r.top; }
inline Gdiplus::RectF ToRectF(const RECT& r) {
    return Gdiplus::RectF(static_cast<Gdiplus::REAL>(r.left), static_cast<Gdiplus::REAL>(r.top),
                          static_cast<Gdiplus::REAL>(Width(r)), static_cast<Gdiplus::REAL>(Height(r)));
}

// An image decoded from a resource of the program's own module, at a display scale. Only the
// low 16 bits of resId name the resource. Beside its image of type `resType` (drawn for 96 DPI)
// a product may ship the same image at 150 % and 200 % as types `resType`_150 and _200: the
// image is decoded from the smallest of them at or above the scale (the largest when none is),
// and resampled to the scale's size when it is not the scale's own, each of its `frames` (a
// strip of equal frames side by side) on its own, so that no frame takes colour from its
// neighbour. Raises QPXException(E_FAIL) when the resource cannot be found, loaded or locked;
// an image that does not decode is kept without a native image and every draw of it fails
// quietly.
class Surface;

class ImageObject : public Gdiplus::Bitmap {
public:
    static std::unique_ptr<ImageObject> Load(const wchar_t* resType, UINT resId,
                                             const DisplayScale& scale = DisplayScale(), int frames = 1);
    ~ImageObject() override;
    // The image as drawn 1:1 on a transparent surface, premultiplied, made at the second call:
    // a picture drawn again and again is blended from it, not converted again by GDI+, and
    // one drawn once costs no copy. Null at the first call (unless made before), when the
    // image did not decode or when no surface of its size can be made.
    const Surface* Premultiplied();
    // Makes that copy now: a preload makes it on its own thread for the first frame.
    void MakePremultiplied();

private:
    // The resource type of the image chosen for a scale, and the DPI it is drawn for.
    struct Variant {
        std::wstring type;
        UINT dpi;
    };
    static Variant ChooseVariant(const wchar_t* resType, UINT resId, const DisplayScale& scale);
    // Decoded from the stream.
    explicit ImageObject(IStream* stream);
    // Empty, of this size, to draw a resampled image into.
    ImageObject(INT width, INT height);
    // `decoded` resampled frame by frame to frames of `frameWidth` x `height`; `decoded` itself
    // when no image of that size can be made.
    static std::unique_ptr<ImageObject> Resampled(std::unique_ptr<ImageObject> decoded, int frames, UINT frameWidth,
                                                  UINT height);

    std::unique_ptr<Surface> premultiplied_;
    int calls_ = 0;
};

// An image resource: its type and id, whether a preload makes its premultiplied copy (for
// images drawn 1:1), and the frames of its strip.
struct ImageName {
    std::wstring type;
    UINT id;
    bool premultiply;
    int frames = 1;
};

// What a dialog's skin needs before its first frame: its images and its fonts' families.
struct SkinNames {
    std::vector<ImageName> images;
    std::vector<std::wstring> fontFamilies;
};

// Decodes images on a thread of its own from construction, so that a tree built while it
// lives (after its window is made, which takes the UI thread a while) finds them decoded:
// LoadImageResource takes each from here once, waiting for it when the thread has not got
// to it yet. What the thread could not decode is decoded again by the taker, who then fails
// or logs as without the preload. After the images the thread looks up the font families,
// which makes GDI+ read the system's font list there; MakeFont waits for that, so fonts are
// never made on two threads at once. Made, used and ended on the UI thread, one at a time.
class SkinPreload {
public:
    // The images at `scale`: the one their window will be drawn at.
    explicit SkinPreload(SkinNames names, const DisplayScale& scale = DisplayScale());
    ~SkinPreload();  // stops the thread after its current image and waits for it
    SkinPreload(const SkinPreload&) = delete;
    SkinPreload& operator=(const SkinPreload&) = delete;

    // The live preload's image of that name, scale and frames not taken before; null when there
    // is none.
    static std::unique_ptr<ImageObject> TakeImage(const wchar_t* resType, UINT resId,
                                                  const DisplayScale& scale = DisplayScale(), int frames = 1);
    // Returns when the live preload (if any) is done with the font families.
    static void AwaitFontFamilies();

private:
    struct Entry {
        ImageName name;
        std::unique_ptr<ImageObject> image;
        bool taken = false;
    };
    static DWORD WINAPI Preload(void* preload);
    // Waits under lock_ until `done` holds.
    template <typename Done>
    void AwaitLocked(Done done);

    std::vector<Entry> entries_;
    std::vector<std::wstring> fontFamilies_;
    const DisplayScale scale_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE progressed_ = CONDITION_VARIABLE_INIT;
    size_t decoded_ = 0;  // entries the thread is done with, in order; under lock_
    bool fontsDone_ = false;  // under lock_
    bool stopping_ = false;  // under lock_
    UniqueKernelHandle thread_;
};

// The image of that resource at `scale`: the live preload's, or decoded here. Raises as
// ImageObject::Load does.
std::unique_ptr<ImageObject> LoadImageResource(const wchar_t* resType, UINT resId, const DisplayScale& scale,
                                               int frames = 1);

// A control's skin image: the resource it names, kept so that the image can be loaded again
// at another scale, and its image at the control's scale.
class SkinImage {
public:
    // Loads the resource, a strip of `frames`, at `scale`: resId 0 is no image when the image is
    // optional, and raises QPXException(E_FAIL) as a missing resource does when it is required.
    void Load(const wchar_t* resType, UINT resId, const DisplayScale& scale, int frames = 1, bool required = true);
    // The same resource at another scale; nothing when no image is loaded.
    void Rescale(const DisplayScale& scale);
    ImageObject* get() const { return image_.get(); }
    ImageObject* operator->() const { return image_.get(); }
    explicit operator bool() const { return image_ != nullptr; }

private:
    std::wstring type_;
    UINT id_ = 0;
    int frames_ = 1;
    std::unique_ptr<ImageObject> image_;
};

// A text colour from the layout: alpha 254, each component cut to its low 8 bits.
std::unique_ptr<Gdiplus::SolidBrush> MakeTextBrush(COLORREF rgb);
// A font of `size` points at `scale`, in device pixels: what `size` points are on a screen
// of the scale's DPI, whatever DPI the surface it is drawn on reports. A family that cannot be
// used falls back to generic sans-serif. style: Gdiplus::FontStyle bits (bold, underline).
std::unique_ptr<Gdiplus::Font> MakeFont(const std::wstring& family, int size, int style, const DisplayScale& scale);

// The text rule: text rendering hint ClearTypeGridFit for the draw only; layout origin x, y.
// With a format, the text is laid out by it in `width` pixels from x (a centred one fits a word
// of any length, of each language, on the same button).
void DrawString(Gdiplus::Graphics& graphics, const std::wstring& text, const Gdiplus::Font* font,
              const Gdiplus::Brush* brush, int x, int y, const Gdiplus::StringFormat* format = nullptr,
              int width = 0);
// The part of the window being drawn again. While one lives, containers clip to their rect
// within it instead of to their rect alone, and 1:1 pictures copy only what falls in it; with
// none, the whole window is drawn. One redraw at a time: the UI thread's painter makes it.
class PaintArea {
public:
    explicit PaintArea(const RECT& area);
    ~PaintArea();
    PaintArea(const PaintArea&) = delete;
    PaintArea& operator=(const PaintArea&) = delete;

    // Clips to `rect` within the area, replacing the clip the graphics had.
    static void ClipTo(Gdiplus::Graphics& graphics, const RECT& rect);
    // Back to the whole area (the whole window with none).
    static void Unclip(Gdiplus::Graphics& graphics);
    // The part of `rect` inside the area; false when none of it is.
    static bool Visible(const RECT& rect, RECT& visible);

private:
    RECT area_;
};

// The image's pixels from (sourceX, sourceY) 1:1 into `part` of the window at `opacity`
// (0 to 1), over what is there.
void DrawPart(Gdiplus::Graphics& graphics, ImageObject* image, const RECT& part, int sourceX, int sourceY,
              float opacity);
// Frame `frame` of a horizontal strip of frames each the size of `rect`, 1:1 into rect. A strip
// resampled to a scale that does not divide its frames evenly is cut at each frame's share of
// its width, so no frame shows a column of its neighbour.
void DrawFrame(Gdiplus::Graphics& graphics, ImageObject* image, int frame, const RECT& rect);
// Source rect stretched into the destination with high-quality bicubic interpolation.
void DrawStretched(Gdiplus::Graphics& graphics, Gdiplus::Image* image,
                   const Gdiplus::RectF& destination, const Gdiplus::RectF& source);

// The graphics' device context with the graphics' clip selected into it, for GDI drawing
// between GDI+'s; the clip is taken off and the context given back when it goes.
class ClippedDc {
public:
    explicit ClippedDc(Gdiplus::Graphics& graphics);
    ~ClippedDc();
    ClippedDc(const ClippedDc&) = delete;
    ClippedDc& operator=(const ClippedDc&) = delete;
    HDC get() const { return dc_; }

private:
    Gdiplus::Graphics& graphics_;
    HDC dc_;
};

// A 32-bit top-down-addressable off-screen surface: a DIB section (bottom-up rows, BGRA,
// initially all zero, that is transparent) selected into a memory DC, with a GDI+ Graphics
// on it. Serves the window surface and the text box's scratch bitmap.
class Surface {
public:
    // reference: the DC the memory DC is made compatible with (null: the screen).
    Surface(HDC reference, int width, int height);
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    bool IsValid() const { return bits_ != nullptr; }
    HDC GetDC() const { return dc_.get(); }
    Gdiplus::Graphics& GetGraphics() { return *graphics_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Pixel at client x, y as 0xAARRGGBB (premultiplied as drawn); 0 outside the surface.
    uint32_t Pixel(int x, int y) const;
    // Row y (top row 0) of the pixel memory.
    uint32_t* Row(int y) const;
    // Ends the Graphics so its pending drawing reaches the bitmap.
    void Flush();

private:
    int width_;
    int height_;
    UniqueMemoryDc dc_;
    UniqueGdiObject bitmap_;
    HGDIOBJ oldBitmap_ = nullptr;  // put back before the bitmap is deleted
    uint32_t* bits_ = nullptr;
    std::unique_ptr<Gdiplus::Graphics> graphics_;
};

}  // namespace QPXUE
