// Feeds the hostile layout documents of mutate_layouts.py to the three wizard dialogs, as the
// installer's entry would: parsed as the layout resource is, each dialog built, painted
// for a few frames and closed from the system. A dialog whose tree cannot be built must end
// on its own, in order, with result 0 and its log line; none may crash or hang.
//   fuzz_layouts <folder of the layouts> <first case>
// Prints "begin <n>" before a case and "<verdict> <n>" after it: "unparsed" (the entry stops
// there), "built" (every dialog ended), "unbuilt" (a dialog could not build its tree and
// ended itself), "treeless" (a dialog window ran without its tree), "wrong" (a result other
// than 0), "hang"; "done" at the end.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fuzzsupport.h"
#include "pugixml.hpp"
#include "qpxcompletedlg.h"
#include "qpxhandle.h"
#include "qpxinitdlg.h"
#include "qpxinstalldlg.h"
#include "qpxlayout.h"
#include "qpxplatform.h"
#include "qpxrun.h"
#include "qpxtext.h"
#include "testsupport.h"

namespace {

constexpr DWORD kCaseTimeoutMs = 60000;
constexpr UINT kCloseAfterMs = 120;  // a couple of paints first
constexpr char kNoSuchHook[] = "QPXSE_FuzzWork";  // the worker runs and reports at once
constexpr wchar_t kUnbuiltLine[] = L"has no layout tree, ended";
constexpr int kTreeless = -2;  // RunOne's result for a dialog window without its tree

constexpr UINT kTreelessGraceMs = 3000;

HWND g_dialog = nullptr;
bool g_closedTreeless = false;

void CALLBACK CloseFromTheSystem(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (g_dialog && IsWindow(g_dialog)) PostMessageW(g_dialog, WM_CLOSE, 0, 0);
}

void CALLBACK CloseTreeless(HWND window, UINT message, UINT_PTR timer, DWORD time) {
    g_closedTreeless = true;
    CloseFromTheSystem(window, message, timer, time);
}

// Runs one dialog of the layout to its end; its result, or -1 when it does not end in time.
template <typename Dialog, typename... Extra>
int RunOne(pugi::xml_node element, Extra&&... extra) {
    QPXMessageLoop loop;
    QPXAppModule::AddMessageLoop(&loop);
    auto dialog = std::make_unique<Dialog>(element, std::forward<Extra>(extra)...);
    int result = -1;
    const HWND window = dialog->Create();
    if (!window) {
        result = 0;
    } else {
        // Left hidden: it builds, lays out and paints its frames all the same, and Wine
        // without a window manager waits two seconds for every shown window to withdraw.
        g_dialog = window;
        // A dialog without its tree shows nothing and nobody could end it: it must end by
        // itself, and gets a close from outside only long after.
        const bool treeless = !QPXUE::LayoutRegistry::Instance().Find(window);
        g_closedTreeless = false;
        const UINT_PTR timer = treeless ? SetTimer(nullptr, 0, kTreelessGraceMs, CloseTreeless)
                                        : SetTimer(nullptr, 0, kCloseAfterMs, CloseFromTheSystem);
        result = loop.Run();
        KillTimer(nullptr, timer);
        if (g_closedTreeless) result = kTreeless;
    }
    g_dialog = nullptr;
    dialog.reset();
    QPXAppModule::RemoveMessageLoop();
    return result;
}

// The case's verdict: the dialogs of the document in the wizard's order, as far as the entry
// would go (a missing dialog ends the run there).
const char* RunCase(const std::wstring& path, const std::wstring& log) {
    const std::string bytes = ReadFileBytes(path);
    pugi::xml_document layout;
    if (!ParseLayout(GetModuleHandleW(nullptr), bytes.data(), bytes.size(), layout)) return "unparsed";
    const size_t logStart = LogSize(log);
    std::vector<int> results;
    if (const pugi::xml_node init = FindDialog(layout, L"InitDlg")) {
        results.push_back(RunOne<QPXInitDlg>(init));
        if (const pugi::xml_node progress = FindDialog(layout, L"InstallDlg")) {
            results.push_back(RunOne<QPXInstallDlg>(progress, ProgressPage{kNoSuchHook, 1, TextId::kSetupTitleSuffix}));
            if (const pugi::xml_node complete = FindDialog(layout, L"CompleteDlg"))
                results.push_back(RunOne<QPXCompleteDlg>(complete));
        }
    }
    for (int result : results) {
        if (result == kTreeless) return "treeless";
        if (result != 0) return "wrong";
    }
    const std::string lines = LogTail(log, logStart);
    const std::wstring text = Utf8ToWide(lines.data(), lines.size());
    return text.find(kUnbuiltLine) != std::wstring::npos ? "unbuilt" : "built";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring folder = argv[1];
    const size_t first = wcstoul(argv[2], nullptr, 10);
    const std::wstring log = FuzzLogFile(L"qpx_fuzz_layouts.log");
    const QPXPlatformScope platform;
    // The dialogs run here, on the main thread as in the installer; a watchdog ends a case
    // that takes too long.
    std::atomic<size_t> current{first};
    const UniqueKernelHandle caseEnded(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    std::thread([&current, event = caseEnded.get()] {
        while (WaitForSingleObject(event, kCaseTimeoutMs) == WAIT_OBJECT_0) {
        }
        Report("hang", current);
        TerminateProcess(GetCurrentProcess(), 3);
    }).detach();
    size_t n = first;
    for (;; ++n) {
        wchar_t name[32];
        wsprintfW(name, L"\\%05u.xml", static_cast<unsigned>(n));
        const std::wstring path = folder + name;
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) break;
        current = n;
        Report("begin", n);
        Report(RunCase(path, log), n);
        SetEvent(caseEnded.get());
    }
    Report("done", n);
    return 0;
}
