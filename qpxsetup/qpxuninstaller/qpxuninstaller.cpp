// The uninstaller's entry: runs from a temporary copy of itself, loads the two script files
// the installer wrote beside it, guards against a second instance and against removing a
// folder that is not the product's, then runs the hooks and its three pages: the reasons, the
// removal, the end.
#include <windows.h>

#include <memory>
#include <string>

#include "pugixml.hpp"
#include "qpxfilesystem.h"
#include "qpxglobals.h"
#include "qpxhandle.h"
#include "qpxlanguage.h"
#include "qpxlog.h"
#include "qpxmessagebox.h"
#include "qpxplatform.h"
#include "qpxremovalguard.h"
#include "qpxrun.h"
#include "qpxscriptengine.h"
#include "qpxtempcopy.h"
#include "qpxtext.h"
#include "qpxtexts.h"
#include "qpxuninstalldlg.h"
#include "qpxunattended.h"
#include "qpxwizardpages.h"

namespace {

// Beside the uninstaller, as the install script writes them: the globals, then the script.
constexpr wchar_t kGlobalsFile[] = L"Uninst.dar0";
constexpr wchar_t kScriptFile[] = L"Uninst.dar1";
// Milliseconds per percent of the progress bar: full after six seconds unless the script
// takes longer, which the bar then waits for.
constexpr UINT kProgressElapse = 60;
// How long what is left of the install folder is tried again before it waits for a restart:
// ten times, a fifth of a second apart.
constexpr unsigned kRemovalAttempts = 10;
constexpr DWORD kRemovalPauseMs = 200;

// Runs one compiled script file; false when it is missing or does not load.
bool RunScriptFile(QPXScriptEngine& engine, const wchar_t* name) {
    const std::wstring path = ProgramFolder() + name;
    UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > (64 << 20)) {
        LogLine(L"script file %s cannot be read\r\n", path.c_str());
        return false;
    }
    std::string chunk(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) ||
        read != chunk.size()) {
        LogLine(L"script file %s cannot be read\r\n", path.c_str());
        return false;
    }
    const std::string chunkName = WideToUtf8(name);
    return engine.RunChunk(chunk.data(), chunk.size(), chunkName.c_str());
}

// Whether the script may remove `folder`; a clear message and a log line when not.
bool MayRemove(const std::wstring& folder, const std::wstring& product) {
    const std::wstring caption = product + L" - " + EngineText(TextId::kUninstallCaption);
    if (folder.empty()) {
        LogLine(L"uninstallation refused: no installation of %s found\r\n", product.c_str());
        const std::wstring text = EngineText(TextId::kNotInstalled, product);
        ShowMessageBox(nullptr, text.c_str(), caption.c_str(), MB_ICONINFORMATION);
        return false;
    }
    if (const wchar_t* why = RemovalRefusal(folder)) {
        LogLine(L"uninstallation refused: %s is %s\r\n", folder.c_str(), why);
        const std::wstring text = EngineText(TextId::kUninstallFolderRefused, folder);
        ShowMessageBox(nullptr, text.c_str(), caption.c_str(), MB_ICONWARNING);
        return false;
    }
    return true;
}

// A program the script started and did not wait for (regsvr32 unregistering the shell
// extension, a process still ending) may hold a file of the folder for a moment: what it
// holds cannot go, or goes only once it lets go. Tries again for a while; true when the
// folder is gone.
bool RemovedAfterAMoment(const std::wstring& folder) {
    for (unsigned attempt = 0; attempt < kRemovalAttempts; ++attempt) {
        Sleep(kRemovalPauseMs);
        DeleteTree(folder);
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    }
    return false;
}

// What the script could not remove under `path` (files in use) goes at the next restart: each
// file, then each folder once its files are gone. Each is logged.
void ScheduleLeftovers(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(FindFirstFileW((path + L"\\*").c_str(), &entry));
    if (search) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                ScheduleLeftovers(child);
            } else {
                MoveFileExW(child.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
                LogLine(L"in use, removed at the next restart: %s\r\n", child.c_str());
            }
        } while (FindNextFileW(search.get(), &entry));
    }
    MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

int RunUninstallation(HINSTANCE instance, QPXScriptEngine& engine, const InstallerSwitches& switches) {
    engine.CallHook(kHookBeforeInit);
    const std::wstring product = engine.GetGlobalString(kGlobalProductName);
    if (!MayRemove(engine.GetGlobalString(kGlobalInstallPath), product)) return kExitStopped;

    pugi::xml_document layout;
    if (!LoadLayout(instance, layout)) return kExitStopped;
    // The pages hold nodes of the layout: they go first.
    std::unique_ptr<InstallationPages> pages;
    if (switches.silent) {
        pages = std::make_unique<UnattendedPages>(UnattendedRun{kHookOnUninstall, false, false});
    } else {
        pages = std::make_unique<WizardPages<QPXUninstallDlg, QPXUninstallDlg>>(
            ProgressPage{kHookOnUninstall, kProgressElapse, TextId::kUninstallTitleSuffix});
    }

    const pugi::xml_node reasons = FindDialog(layout, L"UninstallDlg");
    if (!reasons || !pages->Options(reasons)) return kExitStopped;
    // The first page wrote globals of its controls' names: look at the folder once more.
    const std::wstring folder = engine.GetGlobalString(kGlobalInstallPath);
    if (!MayRemove(folder, product)) return kExitStopped;
    MoveOriginalAside(switches.origin, folder);

    const pugi::xml_node removal = FindDialog(layout, L"UninstallingDlg");
    if (!removal || !pages->Progress(removal)) return kExitStopped;
    engine.CallHook(kHookAfterUninstall);
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES && !RemovedAfterAMoment(folder)) {
        LogLine(L"install folder %s is still there\r\n", folder.c_str());
        ScheduleLeftovers(folder);
    }
    const pugi::xml_node end = FindDialog(layout, L"UninstalledDlg");
    if (!end || !pages->Completion(end)) return kExitStopped;
    return kExitDone;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything else: DLLs found by search come only from the system directory.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    const InstallerSwitches switches = StartRun();
    if (!switches.hasOrigin) return RunTemporaryCopy({kGlobalsFile, kScriptFile});
    if (switches.silent) LogLine(L"unattended uninstallation\r\n");

    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    // The language comes from the globals, before the script that may show its texts.
    const bool globalsRun = RunScriptFile(engine, kGlobalsFile);
    if (globalsRun) ChooseLanguage(engine, switches);
    if (!globalsRun || !RunScriptFile(engine, kScriptFile)) {
        ShowMessageBox(nullptr, EngineText(TextId::kUninstallScriptsBroken).c_str(),
                       EngineText(TextId::kUninstallCaption).c_str(), MB_ICONERROR);
        return kExitStopped;
    }
    UniqueKernelHandle instanceMutex;
    if (!ClaimSingleInstance(engine, instanceMutex)) return kExitStopped;

    const QPXPlatformScope platform;
    return RunUninstallation(instance, engine, switches);
}
