// The platform the wizard runs on, for as long as it runs: COM and OLE, GDI+ and the common
// controls.
#include "qpxplatform.h"

#include <commctrl.h>
#include <gdiplus.h>

#include "qpxmessageloop.h"
#include "qpxsystem.h"

namespace {

// InitCommonControlsEx with the bar classes, from the system's comctl32.
void InitCommonControlsFromSystem() {
    // comctl32 is not a known DLL: by full path, so a copy beside the installer never loads.
    HMODULE comctl = LoadSystemLibrary(L"comctl32.dll");
    if (!comctl) return;
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitFunction>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
    if (init) init(&controls);
}

}  // namespace

QPXPlatformScope::QPXPlatformScope() {
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, thread and codecs on
    if (Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr) != Gdiplus::Ok) gdiplusToken_ = 0;
    InitCommonControlsFromSystem();
}

QPXPlatformScope::~QPXPlatformScope() {
    QPXAppModule::RemoveMessageLoop();
    if (gdiplusToken_) Gdiplus::GdiplusShutdown(gdiplusToken_);
}
