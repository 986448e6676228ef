// Measures the redraw tick of every dialog tree of the product's layout as the dialogs paint
// on their redraw timer: a tick with nothing changed since the last, a tick after a change,
// and ticks during a carousel's cross-fade, beside the system's part of a whole-window
// update; can write each dialog's picture to a PNG file. Each tree is built as the dialogs
// build theirs, at the display scale asked for, its images decoded beforehand on a second
// thread, and its first frame must be the one a tree built without that draws, pixel for pixel.
//   ui_repaint [--png <folder>] [--dpi <dots per inch, 96 when not given>]
// Exit code 0 when every dialog's tree was built and drew that first frame, 1 otherwise.
#include <windows.h>
#include <gdiplus.h>
#include <ole2.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "pugixml.hpp"
#include "qpxanimation.h"
#include "qpxdraw.h"
#include "qpxlayout.h"
#include "qpxmessages.h"
#include "qpxpainter.h"

using namespace QPXUE;

namespace {

constexpr int kRepaints = 50;
// The PNG encoder of GDI+.
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// The layout resource of this program, parsed.
bool LoadLayout(pugi::xml_document& document) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, L"LAYOUT.XML", L"XML");
    HGLOBAL block = info ? LoadResource(module, info) : nullptr;
    const void* bytes = block ? LockResource(block) : nullptr;
    return bytes != nullptr &&
           document.load_buffer(bytes, SizeofResource(module, info), pugi::parse_default, pugi::encoding_utf16_le);
}

// Every carousel of the tree.
std::vector<CarouselUIObjectImpl*> Carousels(ContainerUIObjectImpl& root) {
    std::vector<CarouselUIObjectImpl*> carousels;
    std::vector<ContainerUIObjectImpl*> pending{&root};
    while (!pending.empty()) {
        ContainerUIObjectImpl* container = pending.back();
        pending.pop_back();
        for (const auto& child : container->GetContainers()) pending.push_back(child.get());
        for (const auto& control : container->GetControls())
            if (auto* carousel = dynamic_cast<CarouselUIObjectImpl*>(control.get())) carousels.push_back(carousel);
    }
    return carousels;
}

// Carousels mid-way through a cross-fade, the costliest moment of a frame.
void StartCrossFades(const std::vector<CarouselUIObjectImpl*>& carousels) {
    for (CarouselUIObjectImpl* carousel : carousels) {
        carousel->Play();
        carousel->OnTimer(carousel->GetSlideTimerIndex());
        for (int tick = 0; tick < 4; ++tick) carousel->OnTimer(carousel->GetFadeTimerIndex());
    }
}

void SavePng(const Surface& surface, const std::wstring& path) {
    std::vector<uint32_t> pixels(static_cast<size_t>(surface.Width()) * surface.Height());
    for (int y = 0; y < surface.Height(); ++y)
        for (int x = 0; x < surface.Width(); ++x)
            pixels[static_cast<size_t>(y) * surface.Width() + x] = surface.Pixel(x, y);
    Gdiplus::Bitmap bitmap(surface.Width(), surface.Height(), surface.Width() * 4,
                           PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(pixels.data()));
    bitmap.Save(path.c_str(), &kPngEncoder, nullptr);
}

// The time a repaint takes: on the clock, and on this thread's share of the processor, which
// is what it costs the machine and what other programs on a busy machine do not inflate. The
// thread times count in 10 ms ticks: 0.2 ms per repaint over one measurement.
struct RepaintCost {
    double wallMs;
    double cpuMs;
};

double ThreadCpuMilliseconds() {
    FILETIME creation, exit, kernel, user;
    GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user);
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

// What came before each tick: nothing, a message (the whole tree is drawn), or the fade timer
// of every carousel (their areas are drawn; the carousels stay where they are in the fade,
// which costs what every step of it does).
enum class Before { kNothing, kMessage, kFadeStep };

// The cost of one redraw tick of the dialog's painter on a layered window of the dialog's size.
RepaintCost CostPerTick(HWND window, ContainerUIObjectImpl& root, Before before,
                        const std::vector<CarouselUIObjectImpl*>& carousels = {}) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    LayeredPainter painter;
    painter.Paint(window, &root);
    const double cpuStart = ThreadCpuMilliseconds();
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kRepaints; ++i) {
        if (before == Before::kMessage) painter.Notice(WM_MOUSEMOVE, 0);
        if (before == Before::kFadeStep) {
            for (const CarouselUIObjectImpl* carousel : carousels) {
                // As the dialog frame tells it: the area its container shows.
                RECT area = carousel->AnimatedArea();
                root.CutToShown(*carousel, area);
                painter.NoticeArea(area);
            }
        }
        painter.Paint(window, &root);
    }
    QueryPerformanceCounter(&end);
    const double cpu = ThreadCpuMilliseconds() - cpuStart;
    return {1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart / kRepaints, cpu / kRepaints};
}

// The system's part of a tick that changes the whole window: the picture put on the window
// with all of it dirty, nothing drawn.
RepaintCost CostOfWholeUpdate(HWND window, int width, int height) {
    Surface picture(nullptr, width, height);
    SIZE size{width, height};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UPDATELAYEREDWINDOWINFO info{sizeof(info), nullptr, nullptr, &size, picture.GetDC(), &source, 0, &blend,
                                 ULW_ALPHA, nullptr};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    const double cpuStart = ThreadCpuMilliseconds();
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kRepaints; ++i) UpdateLayeredWindowIndirect(window, &info);
    QueryPerformanceCounter(&end);
    const double cpu = ThreadCpuMilliseconds() - cpuStart;
    return {1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart / kRepaints, cpu / kRepaints};
}

// The tree's first frame on a fresh surface.
std::unique_ptr<Surface> FirstFrame(ContainerUIObjectImpl& root, int width, int height) {
    auto surface = std::make_unique<Surface>(nullptr, width, height);
    root.Draw(surface->GetGraphics());
    surface->Flush();
    return surface;
}

bool SamePixels(const Surface& a, const Surface& b) {
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), sizeof(uint32_t) * a.Width()) != 0) return false;
    return true;
}

// The tree of `container` for `window` at `scale`, built after a preload of its images as a
// dialog builds it; null when it does not build, or when its first frame differs from that of a
// tree built without the preload (said on the output).
ContainerUIObjectImpl* BuildAsTheDialogs(HWND window, pugi::xml_node container, int width, int height,
                                         const DisplayScale& scale) {
    ContainerUIObjectImpl* plain = BuildLayout(window, container, scale);
    if (plain == nullptr) return nullptr;
    const std::unique_ptr<Surface> expected = FirstFrame(*plain, width, height);
    DestroyLayout(window);
    ContainerUIObjectImpl* root;
    {
        const SkinPreload skin(LayoutSkin(container), scale);
        root = BuildLayout(window, container, scale);
    }
    if (root != nullptr && !SamePixels(*expected, *FirstFrame(*root, width, height))) {
        std::printf("the first frame of the tree built after a preload differs\n");
        return nullptr;
    }
    return root;
}

void PrintCost(const char* what, const RepaintCost& cost) {
    std::printf("; %s %.2f ms (processor %.2f ms)", what, cost.wallMs, cost.cpuMs);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring pngFolder;
    DisplayScale scale;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wstring(argv[i]) == L"--png") pngFolder = argv[i + 1];
        if (std::wstring(argv[i]) == L"--dpi")
            scale = DisplayScale(static_cast<UINT>(std::wcstoul(argv[i + 1], nullptr, 10)));
    }
    OleInitialize(nullptr);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);

    int result = 0;
    pugi::xml_document document;
    if (!LoadLayout(document)) {
        std::printf("no layout resource\n");
        result = 1;
    }
    for (pugi::xml_node dlg : document.first_child().children(L"Dlg")) {
        const std::wstring name = dlg.attribute(L"name").value();
        const int width = scale.Px(DialogWidth(dlg));
        const int height = scale.Px(DialogHeight(dlg));
        HWND window = CreateWindowExW(WS_EX_LAYERED | WS_EX_NOACTIVATE, L"STATIC", name.c_str(),
                                      WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
        ContainerUIObjectImpl* root = BuildAsTheDialogs(window, dlg.child(L"Container"), width, height, scale);
        if (root == nullptr) {
            std::printf("%ls: the layout does not build\n", name.c_str());
            result = 1;
        } else {
            std::printf("%ls: period %u ms", name.c_str(), QPX_REDRAW_PERIOD);
            PrintCost("idle tick", CostPerTick(window, *root, Before::kNothing));
            PrintCost("tick after a change", CostPerTick(window, *root, Before::kMessage));
            const std::vector<CarouselUIObjectImpl*> carousels = Carousels(*root);
            if (!carousels.empty()) {
                StartCrossFades(carousels);
                PrintCost("cross-fade tick", CostPerTick(window, *root, Before::kFadeStep, carousels));
            }
            PrintCost("whole-window update alone", CostOfWholeUpdate(window, width, height));
            std::printf("\n");
            if (!pngFolder.empty()) {
                Surface surface(nullptr, width, height);
                root->Draw(surface.GetGraphics());
                surface.Flush();
                SavePng(surface, pngFolder + L"\\" + name + L".png");
            }
        }
        DestroyLayout(window);
        DestroyWindow(window);
    }
    Gdiplus::GdiplusShutdown(token);
    OleUninitialize();
    return result;
}
