// What the installer's and the uninstaller's entries share: the run's own switches, the
// single-instance guard of the product, the platform, the layout resource and its pages.
#pragma once

#include <windows.h>

#include <memory>

#include "pugixml.hpp"
#include "qpxcom.h"
#include "qpxmessageloop.h"
#include "qpxswitches.h"

class QPXScriptEngine;

constexpr int kExitDone = 1;
constexpr int kExitStopped = 0;

// Reads the run's switches, opens the log file and silences message boxes as they ask.
// Before the first log line, so that the log file has them all.
InstallerSwitches StartRun();

// True when this is the product's only installer or uninstaller; a second one brings the
// first one's window to the front and logs "CreateAppInstance return true". The name comes
// from the scripts' globals, so they have run.
bool IsOnlyInstance(QPXScriptEngine& engine);

// COM, GDI+ and the common controls for the run; module termination, then COM, on every path.
class PlatformGuard {
public:
    PlatformGuard();
    ~PlatformGuard();
    PlatformGuard(const PlatformGuard&) = delete;
    PlatformGuard& operator=(const PlatformGuard&) = delete;

private:
    const ComScope com_;
};

// Loads and parses the layout resource; false (with its log line) when it cannot.
bool LoadLayout(HINSTANCE instance, pugi::xml_document& layout);

// The layout's `Dlg` element of that name; none, logged as empty, when there is none.
pugi::xml_node FindDialog(const pugi::xml_document& layout, const wchar_t* name);

// Creates, shows and runs one dialog in `loop`; its result.
template <typename Dialog, typename... Extra>
int RunDialog(std::unique_ptr<Dialog>& dialog, pugi::xml_node element, QPXMessageLoop& loop,
              Extra&&... extra) {
    dialog = std::make_unique<Dialog>(element, std::forward<Extra>(extra)...);
    HWND window = dialog->Create();
    if (!window) return kExitStopped;
    ShowWindow(window, SW_SHOWNORMAL);
    return loop.Run();
}
