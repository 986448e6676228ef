// Process-wide platform start-up of the installer: GDI+ and the common controls.
#include "qpxplatform.h"

#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>

#include <cstdlib>

#include "qpxsystem.h"

namespace {

ULONG_PTR gdiplusToken = 0;

void ShutdownGdiplus() { Gdiplus::GdiplusShutdown(gdiplusToken); }

}  // namespace

void StartGdiplus() {
    if (gdiplusToken) return;
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, thread and codecs on
    if (Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr) == Gdiplus::Ok) {
        std::atexit(ShutdownGdiplus);
    }
}

void InitCommonControlsFromSystem() {
    // comctl32 is not a known DLL: by full path, so a copy beside the installer never loads.
    HMODULE comctl = LoadSystemLibrary(L"comctl32.dll");
    if (!comctl) return;
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitFunction>(GetProcAddress(comctl, "InitCommonControlsEx"));
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
    if (init) init(&controls);
}
