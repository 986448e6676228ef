// The display scale of the process, from whichever of the system's functions this system has.
#include "qpxdpi.h"

#include "qpxhandle.h"
#include "qpxsystem.h"

namespace {

using SetAwarenessContextFunction = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
using SetProcessAwarenessFunction = HRESULT(WINAPI*)(int);
using WindowDpiFunction = UINT(WINAPI*)(HWND);
using MonitorDpiFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

constexpr int kProcessPerMonitorDpiAware = 2;  // PROCESS_DPI_AWARENESS of Windows 8.1
constexpr int kEffectiveDpi = 0;               // MONITOR_DPI_TYPE: the DPI windows are drawn at

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

HMODULE User32() { return GetModuleHandleW(L"user32.dll"); }  // the program imports it

// Windows 8.1's DPI functions. The library is not a known DLL: loaded by full path, once.
HMODULE Shcore() {
    static const UniqueModule shcore(LoadSystemLibrary(L"shcore.dll"));
    return shcore.get();
}

// The system DPI: what a screen context reports to a DPI-aware process.
UINT SystemDpi() {
    const WindowDc screen(nullptr);
    const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSX);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT MonitorDpi(HMONITOR monitor) {
    UINT x = 0, y = 0;
    if (const auto get = Export<MonitorDpiFunction>(Shcore(), "GetDpiForMonitor"))
        if (SUCCEEDED(get(monitor, kEffectiveDpi, &x, &y)) && x > 0) return x;
    return SystemDpi();
}

}  // namespace

void DeclareDpiAwareness() {
    // Each way is tried only where the newer ones do not exist: where one exists and refuses,
    // the awareness is already declared, or the system keeps its own.
    if (const auto set = Export<SetAwarenessContextFunction>(User32(), "SetProcessDpiAwarenessContext")) {
        // Systems before Windows 10 1703 do not know v2 and refuse it as an invalid value.
        if (!set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) && GetLastError() == ERROR_INVALID_PARAMETER)
            set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
        return;
    }
    if (const auto set = Export<SetProcessAwarenessFunction>(Shcore(), "SetProcessDpiAwareness")) {
        set(kProcessPerMonitorDpiAware);
        return;
    }
    SetProcessDPIAware();
}

UINT WindowDpi(HWND window) {
    if (const auto get = Export<WindowDpiFunction>(User32(), "GetDpiForWindow"))
        if (const UINT dpi = get(window)) return dpi;
    return MonitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

UINT PrimaryMonitorDpi() { return MonitorDpi(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY)); }
