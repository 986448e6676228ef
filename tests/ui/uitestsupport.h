// Shared pieces of the UI engine tests: GDI+ start-up, a window that records the messages
// objects send it, layout trees from XML text, and pixel reading.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pugixml.hpp"
#include "qpxcontainer.h"
#include "qpxdraw.h"

namespace uitest {

// Resource ids of the test skin (make-test-skin.py); frame k of a strip has colour kFrames[k].
constexpr UINT kButtonStrip = 401, kCheckStrip = 402, kTextBoxStrip = 403, kBackground = 404,
               kCarouselStrip = 405, kProgressBack = 406, kProgressFill = 407, kWideButton = 408,
               kNotAnImage = 409;
// Four 10 x 10 frames of kFrames[0..3]; at 200 % checkerboards of the same colours and white,
// at 150 % solid frames of kFrames[1..4].
constexpr UINT kScaledStrip = 410;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kFrames[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF};
constexpr uint32_t kTextBoxFrames[] = {0xF0F0F0, 0xC8FFC8, 0xFFC8C8};
constexpr uint32_t kBackgroundColour = 0x282828;

struct Message {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// A hidden top-level window that records every message from WM_USER up.
class RecordingWindow {
public:
    RecordingWindow();
    ~RecordingWindow();
    HWND Handle() const { return window_; }
    const std::vector<Message>& Messages() const { return messages_; }
    // The recorded messages numbered msg.
    std::vector<Message> Of(UINT msg) const;
    void Clear() { messages_.clear(); }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    std::vector<Message> messages_;
};

// Parses `xml` (a Container element) and builds it for `window`, at `scale`; the tree stays
// registered until DestroyLayout or the next Build for the same window.
QPXUE::ContainerUIObjectImpl* Build(HWND window, const wchar_t* xml,
                                    const QPXUE::DisplayScale& scale = QPXUE::DisplayScale());

// The direct child control `name` of `root` as a T, or null.
template <typename T>
T* Control(QPXUE::ContainerUIObjectImpl* root, const wchar_t* name) {
    return root == nullptr ? nullptr : dynamic_cast<T*>(root->FindControl(name));
}

// Renders `object` into a fresh transparent surface of width x height and returns it.
struct Rendered {
    std::vector<uint32_t> pixels;
    int width;
    int height;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t Rgb(int x, int y) const { return At(x, y) & 0xFFFFFF; }
    uint32_t Alpha(int x, int y) const { return At(x, y) >> 24; }
};
Rendered Render(QPXUE::IQPXBaseUIObject& object, int width = 320, int height = 240);

// Mouse lParam of a client point.
inline LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

}  // namespace uitest
