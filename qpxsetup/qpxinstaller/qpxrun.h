// What the installer's and the uninstaller's entries share: the run's own switches, the
// single-instance guard of the product, the platform, the layout resource and its pages.
#pragma once

#include <windows.h>

#include <memory>

#include "pugixml.hpp"
#include "qpxhandle.h"
#include "qpxmessageloop.h"
#include "qpxswitches.h"

class QPXScriptEngine;

constexpr int kExitDone = 1;
constexpr int kExitStopped = 0;

// Declares the process DPI aware, reads the run's switches, opens the log file and silences
// message boxes as they ask. Before the first window and the first log line, so that the log
// file has them all.
InstallerSwitches StartRun();

// The product's single-instance mutex: false when another installer or uninstaller of the
// product holds it (its window then comes to the front, "CreateAppInstance return true" is
// logged) or its name does not fit. Otherwise `mutex` holds it, to be kept for as long as the run
// goes on: it is what the next instance finds. The name comes from the scripts' globals.
bool ClaimSingleInstance(QPXScriptEngine& engine, UniqueKernelHandle& mutex);

// Loads and parses the layout resource; false (with its log line) when it cannot.
bool LoadLayout(HINSTANCE instance, pugi::xml_document& layout);
// Parses a UTF-16 layout document and registers the dialogs' window class; false (with the
// parser's log line) when it does not parse.
bool ParseLayout(HINSTANCE instance, const void* bytes, size_t size, pugi::xml_document& layout);

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
