// The installer's start-up, step by step: the steps the entry and the options dialog take
// before the first frame is on screen, each timed, from the moment the process was created.
//   startup_timeline
// Prints one line per step, "<step>\t<ms the step took>\t<ms since process creation>", and
// after the first frame the parts of the tree build measured once more alone. Exit code 0
// when the first frame was drawn, 1 otherwise.
#include <windows.h>
#include <gdiplus.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "pugixml.hpp"
#include "qpxdraw.h"
#include "qpxglobals.h"
#include "qpxlanguage.h"
#include "qpxlayout.h"
#include "qpxlog.h"
#include "qpxplatform.h"
#include "qpxrun.h"
#include "qpxscriptengine.h"

using namespace QPXUE;

namespace {

// Each step timed on the performance counter, from the moment the process was created.
class Timeline {
public:
    Timeline() : since_(static_cast<double>(MillisecondsSinceStart())) {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&last_);
        std::printf("process start to entry\t%.1f\t%.1f\n", since_, since_);
    }
    void Step(const char* name) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const double took = 1000.0 * (now.QuadPart - last_.QuadPart) / frequency_.QuadPart;
        since_ += took;
        last_ = now;
        std::printf("%s\t%.1f\t%.1f\n", name, took, since_);
    }

private:
    LARGE_INTEGER frequency_;
    LARGE_INTEGER last_;
    double since_;
};

// The options dialog's window as the frame makes it: layered, borderless, the layout's size at
// the primary monitor's scale.
HWND CreateDialogWindow(pugi::xml_node dialog) {
    const DisplayScale scale(PrimaryMonitorDpi());
    return CreateWindowExW(WS_EX_LAYERED, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, scale.Px(DialogWidth(dialog)),
                           scale.Px(DialogHeight(dialog)), nullptr, nullptr, nullptr, nullptr);
}

void FirstFrame(HWND window, ContainerUIObjectImpl& root, Timeline& timeline) {
    RECT bounds;
    GetWindowRect(window, &bounds);
    SIZE size{bounds.right - bounds.left, bounds.bottom - bounds.top};
    HDC screen = GetDC(window);
    {
        Surface surface(screen, size.cx, size.cy);
        root.Draw(surface.GetGraphics());
        surface.Flush();
        timeline.Step("first draw of the tree");
        POINT source{0, 0};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindow(window, nullptr, nullptr, &size, surface.GetDC(), &source, 0, &blend, ULW_ALPHA);
        timeline.Step("first UpdateLayeredWindow");
    }
    ReleaseDC(window, screen);
}

// The images of the dialog decoded once more, alone, as the tree loads them: the share of the
// tree build they take.
void MeasureImageDecode(pugi::xml_node container, const DisplayScale& scale) {
    const std::vector<ImageName> images = LayoutSkin(container).images;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (const ImageName& image : images) LoadImageResource(image.type.c_str(), image.id, scale, image.frames);
    QueryPerformanceCounter(&end);
    std::printf("of the tree build: image decode (%u images, again alone)\t%.1f\n", static_cast<unsigned>(images.size()),
                1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart);
}

}  // namespace

int wmain() {
    Timeline timeline;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const InstallerSwitches switches = StartRun();
    timeline.Step("switches and DPI awareness");
    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    timeline.Step("script engine (Lua state, libraries, natives)");
    if (!engine.DoResLua(L"LUA", L"GLOBAL_VAR.LUAC")) return 1;
    ChooseLanguage(engine, switches);
    if (!engine.DoResLua(L"LUA", L"INSTSCRIPT.LUAC")) return 1;
    timeline.Step("script load (globals, language and install script)");
    const QPXPlatformScope platform;
    timeline.Step("platform (COM, GDI+, common controls)");
    engine.CallHook(kHookBeforeInit);
    timeline.Step("hook QPXSE_BeforeInit");
    pugi::xml_document layout;
    if (!LoadLayout(instance, layout)) return 1;
    const pugi::xml_node dialog = FindDialog(layout, L"InitDlg");
    timeline.Step("layout parse");
    const pugi::xml_node container = dialog.child(L"Container");
    const DisplayScale scale(PrimaryMonitorDpi());
    auto skin = std::make_unique<SkinPreload>(LayoutSkin(container), scale);
    HWND window = CreateDialogWindow(dialog);
    timeline.Step("window (images and fonts prepared on a thread)");
    const HMODULE richEdit = LoadLibraryW(L"riched20.dll");
    timeline.Step("text services (riched20 load)");
    ContainerUIObjectImpl* root = BuildLayout(window, container);
    if (root == nullptr) return 1;
    skin.reset();
    timeline.Step("tree build (waits for the thread; fonts, text host)");
    FirstFrame(window, *root, timeline);
    MeasureImageDecode(container, scale);
    DestroyLayout(window);
    DestroyWindow(window);
    FreeLibrary(richEdit);
    return 0;
}
