// System, service and process functions with real effects: a test service in Wine's service
// manager, test programs found and ended, message boxes pressed, privileges changed.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "nativetest.h"
#include "qpxhandle.h"
#include "qpxsysfuncs.h"

namespace {

// Swaps the address this program imports `function` of `dll` through; returns the old one.
void* SwapImport(const char* dll, const char* function, void* replacement) {
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); module->Name;
         ++module) {
        if (_stricmp(reinterpret_cast<char*>(base + module->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            DWORD protection = 0;
            VirtualProtect(&addresses->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            void* old = reinterpret_cast<void*>(addresses->u1.Function);
            addresses->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&addresses->u1.Function, sizeof(void*), protection, &protection);
            return old;
        }
    }
    return nullptr;
}

// ---- services ----

class Services : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        Install(L"QPXTestSvc", L"");
        Install(L"QPXTestSvcStuck", L" stuck");
    }
    static void TearDownTestSuite() {
        for (const wchar_t* name : {L"QPXTestSvc", L"QPXTestSvcStuck"}) {
            UniqueServiceHandle service(OpenServiceW(manager_, name, SERVICE_ALL_ACCESS));
            if (!service) continue;
            SERVICE_STATUS status;
            ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
            EndServiceProcess(service.get());
            DeleteService(service.get());
        }
        CloseServiceHandle(manager_);
    }
    static void Install(const wchar_t* name, const std::wstring& arguments) {
        const std::wstring binary = L"\"" + ProgramFolder() + L"qpxtestservice.exe\"" + arguments;
        UniqueServiceHandle service(CreateServiceW(manager_, name, name, SERVICE_ALL_ACCESS,
                                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                   SERVICE_ERROR_IGNORE, binary.c_str(), nullptr, nullptr,
                                                   nullptr, nullptr, nullptr));
        ASSERT_TRUE(service || GetLastError() == ERROR_SERVICE_EXISTS);
    }
    static void EndServiceProcess(SC_HANDLE service) {
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                                  &needed) || !status.dwProcessId)
            return;
        UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId));
        if (!process) return;
        TerminateProcess(process.get(), 0);
        WaitForSingleObject(process.get(), 5000);
    }
    static DWORD State(const wchar_t* name) {
        UniqueServiceHandle service(OpenServiceW(manager_, name, SERVICE_QUERY_STATUS));
        SERVICE_STATUS status{};
        QueryServiceStatus(service.get(), &status);
        return status.dwCurrentState;
    }
    static SC_HANDLE manager_;
};
SC_HANDLE Services::manager_;

TEST_F(Services, StartAndStopInAnyLetterCase) {
    ASSERT_TRUE(RunLua("started = Lua_SCM('QPXTestSvc', 'start')"));
    EXPECT_TRUE(GlobalBoolean("started"));
    EXPECT_EQ(State(L"QPXTestSvc"), static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_TRUE(RunLua("again = Lua_SCM('QPXTestSvc', 'Start')"));  // already running
    EXPECT_TRUE(GlobalBoolean("again"));
    ASSERT_TRUE(RunLua("stopped = Lua_SCM('QPXTestSvc', 'STOP')"));
    EXPECT_TRUE(GlobalBoolean("stopped"));
    EXPECT_EQ(State(L"QPXTestSvc"), static_cast<DWORD>(SERVICE_STOPPED));
    ASSERT_TRUE(RunLua("capitals = Lua_SCM('QPXTestSvc', 'START') stop2 = Lua_SCM('QPXTestSvc', 'stop')"));
    EXPECT_TRUE(GlobalBoolean("capitals"));
    EXPECT_TRUE(GlobalBoolean("stop2"));
    ASSERT_TRUE(RunLua("missing = Lua_SCM('QPXNoSuchService', 'start')"));
    EXPECT_TRUE(GlobalBoolean("missing"));
}

TEST_F(Services, AnUnknownOperationIsLoggedAndFalse) {
    auto probe = RunProbe("Lua_Logout(tostring(Lua_SCM('QPXTestSvc', 'restart')))");
    EXPECT_TRUE(probe->LogContains(L"xm Unknow Error in fun:Lua_SCM")) << probe->LogText();
    EXPECT_TRUE(probe->LogContains(L"xm xm file:qpxscriptengine")) << probe->LogText();
    EXPECT_TRUE(probe->LogContains(L"xm false")) << probe->LogText();
}

// Counts the status queries that the service wait makes through this program's import.
using QueryServiceStatusFn = BOOL(WINAPI*)(SC_HANDLE, SERVICE_STATUS*);
QueryServiceStatusFn realQueryServiceStatus;
int statusQueries;

BOOL WINAPI CountingQueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
    ++statusQueries;
    return realQueryServiceStatus(service, status);
}

// A service that stays START_PENDING with a wait hint of 0: the wait ends at its bound, and
// pauses between its polls.
TEST_F(Services, AServiceThatNeverRunsEndsTheWaitAtItsBound) {
    UniqueServiceHandle service(OpenServiceW(manager_, L"QPXTestSvcStuck", SERVICE_ALL_ACCESS));
    ASSERT_TRUE(service);
    ASSERT_TRUE(StartServiceW(service.get(), 0, nullptr));
    realQueryServiceStatus = reinterpret_cast<QueryServiceStatusFn>(
        SwapImport("advapi32.dll", "QueryServiceStatus", reinterpret_cast<void*>(CountingQueryServiceStatus)));
    ASSERT_NE(realQueryServiceStatus, nullptr);
    statusQueries = 0;
    const ULONGLONG start = GetTickCount64();
    const bool reached = WaitForServiceState(service.get(), SERVICE_RUNNING, 2000);
    const ULONGLONG elapsed = GetTickCount64() - start;
    SwapImport("advapi32.dll", "QueryServiceStatus", reinterpret_cast<void*>(realQueryServiceStatus));
    EXPECT_FALSE(reached);
    EXPECT_GE(elapsed, 1900u);
    EXPECT_LT(elapsed, 4000u);
    EXPECT_GE(statusQueries, 2);
    EXPECT_LE(statusQueries, 25);  // about one per 100 ms
    EndServiceProcess(service.get());
}

// ---- processes ----

// Starts a copy of the test program with a window of `className`, and waits for the window.
bool StartWindowProgram(StartedProgram& program, const std::wstring& exe, const std::wstring& mode,
                        const std::wstring& className) {
    if (!program.Start(exe, L"window " + mode + L" " + className)) return false;
    return WaitForWindow(className, L"", program.Id(), 10000) != nullptr;
}

TEST(Processes, TaskKillByNameClosesAWindowWithinTheFirstWait) {
    const std::wstring exe = CopyTestProgram(L"qpx_closable.exe");
    StartedProgram program;
    ASSERT_TRUE(StartWindowProgram(program, exe, L"close", L"QPXClosable"));
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(RunLua("killed = Lua_TaskKill('QPX_Closable.EXE')"));
    EXPECT_TRUE(GlobalBoolean("killed"));
    EXPECT_LT(GetTickCount64() - start, 2500u);
    EXPECT_TRUE(program.WaitEnded(0));
}

TEST(Processes, TaskKillByIdTerminatesAProgramThatIgnoresClosing) {
    const std::wstring exe = CopyTestProgram(L"qpx_stubborn.exe");
    StartedProgram program;
    ASSERT_TRUE(StartWindowProgram(program, exe, L"ignore", L"QPXStubborn"));
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(RunLua("killed = Lua_TaskKill(" + std::to_string(program.Id()) + ")"));
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_TRUE(GlobalBoolean("killed"));
    EXPECT_GE(elapsed, 2900u);
    EXPECT_LT(elapsed, 6500u);
    EXPECT_TRUE(program.WaitEnded(0));
}

TEST(Processes, TaskKillPostsToAWindowClassEvenWhenNoProcessMatches) {
    const std::wstring exe = CopyTestProgram(L"qpx_posted.exe");
    StartedProgram closable, stubborn;
    ASSERT_TRUE(StartWindowProgram(closable, exe, L"close", L"QPXPostedClose"));
    ASSERT_TRUE(StartWindowProgram(stubborn, exe, L"ignore", L"QPXPostedIgnore"));
    // The default message is the system menu's close; a given message goes as it is
    // (WM_DESTROY here, which even the stubborn window obeys).
    ASSERT_TRUE(RunLua("a = Lua_TaskKill('qpx_no_such.exe', 'QPXPostedClose') "
                       "b = Lua_TaskKill('qpx_no_such.exe', 'QPXPostedIgnore', 2, 0, 0)"));
    EXPECT_TRUE(GlobalBoolean("a"));
    EXPECT_TRUE(GlobalBoolean("b"));
    EXPECT_TRUE(closable.WaitEnded(5000));
    EXPECT_TRUE(stubborn.WaitEnded(5000));
}

TEST(Processes, KillAllTaskByNameEndsOneProcessPerCall) {
    const std::wstring exe = CopyTestProgram(L"qpx_twice.exe");
    StartedProgram first, second;
    ASSERT_TRUE(StartWindowProgram(first, exe, L"close", L"QPXTwiceA"));
    ASSERT_TRUE(StartWindowProgram(second, exe, L"close", L"QPXTwiceB"));
    ASSERT_TRUE(RunLua("one = Lua_KillAllTaskByName('qpx_twice.exe')"));
    EXPECT_TRUE(GlobalBoolean("one"));
    EXPECT_EQ(first.WaitEnded(0) + second.WaitEnded(0), 1);
    ASSERT_TRUE(RunLua("two = Lua_KillAllTaskByName('qpx_twice.exe') none = Lua_KillAllTaskByName('qpx_twice.exe') "
                       "zero = Lua_KillAllTaskByName(0) unknown = Lua_TaskKill(123456789)"));
    EXPECT_TRUE(GlobalBoolean("two"));
    EXPECT_TRUE(GlobalBoolean("none"));
    EXPECT_TRUE(GlobalBoolean("zero"));
    EXPECT_TRUE(GlobalBoolean("unknown"));  // an id no process has
    EXPECT_TRUE(first.WaitEnded(0) && second.WaitEnded(0));
}

TEST(Processes, GetProcessIdGivesEveryCopyOrMinusOne) {
    const std::wstring exe = CopyTestProgram(L"qpx_pid.exe");
    const std::wstring record = FreshTempPath(L"qpx_pid_unused.txt");
    StartedProgram first, second;
    ASSERT_TRUE(first.Start(exe, L"record \"" + record + L"\" 30000"));
    ASSERT_TRUE(second.Start(exe, L"record \"" + record + L"\" 30000"));
    ASSERT_TRUE(RunLua("ids = {Lua_GetProcessId('QPX_PID.exe')} n = #ids "
                       "table.sort(ids) id1 = ids[1] id2 = ids[2] "
                       "none = {Lua_GetProcessId('qpx_nothing_like_this.exe')} nn = #none n1 = none[1]"));
    EXPECT_EQ(GlobalNumber("n"), 2);
    const std::set<double> expected{double(first.Id()), double(second.Id())};
    EXPECT_EQ((std::set<double>{GlobalNumber("id1"), GlobalNumber("id2")}), expected);
    EXPECT_EQ(GlobalNumber("nn"), 1);
    EXPECT_EQ(GlobalNumber("n1"), -1);
}

// Under Wine the snapshot has no System entry: its first entry is a real program, and must
// be found like any other.
TEST(Processes, TheFirstProcessOfTheSnapshotIsFound) {
    UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    ASSERT_TRUE(Process32FirstW(snapshot.get(), &entry));
    while (entry.th32ProcessID == 0) ASSERT_TRUE(Process32NextW(snapshot.get(), &entry));
    ASSERT_TRUE(RunLua("first = {Lua_GetProcessId(" + LuaText(entry.szExeFile) + ")} "
                       "found = false for _, id in ipairs(first) do found = found or id == " +
                       std::to_string(entry.th32ProcessID) + " end"));
    EXPECT_TRUE(GlobalBoolean("found")) << entry.szExeFile;
}

TEST(Processes, ImagePathsHaveDriveLetters) {
    const std::wstring exe = CopyTestProgram(L"qpx_image.exe");
    StartedProgram program;
    ASSERT_TRUE(program.Start(exe, L"record \"" + FreshTempPath(L"qpx_image.txt") + L"\" 30000"));
    Sleep(300);
    ASSERT_TRUE(RunLua("path = Lua_GetImagePathByPid(" + std::to_string(program.Id()) + ") "
                       "own = Lua_GetImagePathByPid(" + std::to_string(GetCurrentProcessId()) + ") "
                       "gone = Lua_GetImagePathByPid(123456789)"));
    EXPECT_EQ(_wcsicmp(GlobalText("path").c_str(), exe.c_str()), 0) << GlobalText("path");
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(_wcsicmp(GlobalText("own").c_str(), self), 0) << GlobalText("own");
    ASSERT_TRUE(RunLua("gone_is_nil = gone == nil"));
    EXPECT_TRUE(GlobalBoolean("gone_is_nil"));
}

// ---- the rest ----

// Log lines pass the debug output channel in the ANSI code page under Wine: the words are kept ASCII.
TEST(System, CommandLineWordsAndTheScriptLog) {
    auto probe = RunProbe("for i, w in ipairs(Lua_GetCommandLineArgv()) do Lua_Logout('arg' .. i .. '=' .. w) end",
                          L" -d \"C:\\Program Files\\QPX Product\"");
    EXPECT_EQ(probe->Wait(), 1);
    const std::wstring log = probe->LogText();
    EXPECT_TRUE(probe->LogContains(L"xm arg1=" + ProgramFolder() + L"scriptprobe.exe")) << log;
    EXPECT_TRUE(probe->LogContains(L"xm arg4=-d")) << log;
    EXPECT_TRUE(probe->LogContains(L"xm arg5=C:\\Program Files\\QPX Product")) << log;
    EXPECT_EQ(log.find(L"arg6"), std::wstring::npos) << log;
}

struct PressedBox {
    std::wstring text, caption;
};

// Presses `button` on the next message box of this process, from a thread of its own.
class BoxPresser {
public:
    explicit BoxPresser(int button) : button_(button) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~BoxPresser() {
        WaitForSingleObject(thread_, 15000);
        CloseHandle(thread_);
    }
    PressedBox Box() {
        WaitForSingleObject(thread_, 15000);
        return box_;
    }

private:
    static DWORD WINAPI Run(void* self) {
        auto* presser = static_cast<BoxPresser*>(self);
        HWND box = WaitForWindow(L"#32770", L"", GetCurrentProcessId(), 10000);
        if (!box) return 0;
        Sleep(100);
        presser->box_ = {MessageBoxText(box), WindowTitle(box)};
        PressButton(box, presser->button_);
        return 0;
    }
    int button_;
    HANDLE thread_;
    PressedBox box_;
};

TEST(System, MessageBoxesInTheirThreeForms) {
    {
        BoxPresser presser(IDOK);
        ASSERT_TRUE(RunLua("r1 = Lua_MsgBox('只有文字')"));
        EXPECT_EQ(presser.Box().text, L"只有文字");
        EXPECT_EQ(GlobalNumber("r1"), IDOK);
    }
    {
        BoxPresser presser(IDOK);
        ASSERT_TRUE(RunLua("r2 = Lua_MsgBox('text', '标题')"));
        const PressedBox box = presser.Box();
        EXPECT_EQ(box.text, L"text");
        EXPECT_EQ(box.caption, L"标题");
        EXPECT_EQ(GlobalNumber("r2"), IDOK);
    }
    {
        BoxPresser presser(IDCANCEL);
        ASSERT_TRUE(RunLua("r3 = Lua_MsgBox('ok or cancel', 'QPX style', 1 + 48 + 65536)"));
        EXPECT_EQ(presser.Box().caption, L"QPX style");
        EXPECT_EQ(GlobalNumber("r3"), IDCANCEL);
    }
    {  // any other count: an empty box with OK only
        BoxPresser presser(IDOK);
        ASSERT_TRUE(RunLua("r4 = Lua_MsgBox('a', 'b', 1, 'extra')"));
        const PressedBox box = presser.Box();
        EXPECT_EQ(box.text, L"");
        EXPECT_EQ(box.caption, L"");
        EXPECT_EQ(GlobalNumber("r4"), IDOK);
    }
}

TEST(System, ModuleFileNames) {
    wchar_t kernel[MAX_PATH], self[MAX_PATH];
    GetModuleFileNameW(GetModuleHandleW(L"kernel32.dll"), kernel, MAX_PATH);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(RunLua("k = Lua_GetModuleFileName('KERNEL32.dll') n = Lua_GetModuleFileName('qpx_not_loaded.dll') "
                       "s = Lua_GetModuleFileName()"));
    EXPECT_EQ(GlobalText("k"), kernel);
    EXPECT_EQ(GlobalText("n"), self);
    EXPECT_EQ(GlobalText("s"), self);
}

TEST(System, VersionWow64AndInstallDrive) {
    ASSERT_TRUE(RunLua("v = Lua_GetOSVersion() w = Lua_IsWow64()"));
    EXPECT_EQ(GlobalNumber("v"), LOBYTE(LOWORD(GetVersion())));
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    EXPECT_EQ(GlobalBoolean("w"), wow64 != FALSE);

    // This prefix's fixed drives are C: and Z:, the host's root. Without the Program Files
    // folder on Z: the system's own folder is the answer; with it, Z:'s.
    wchar_t expanded[MAX_PATH];
    ExpandEnvironmentStringsW(L"%ProgramFiles%\\", expanded, MAX_PATH);
    const std::wstring onZ = L"Z:" + std::wstring(expanded).substr(2);
    ASSERT_FALSE(FileExists(onZ)) << "the host has a folder the test needs to create";
    ASSERT_TRUE(RunLua("p = Lua_GetDriverInstallPath()"));
    EXPECT_EQ(GlobalText("p"), expanded);
    if (CreateDirectoryW(onZ.c_str(), nullptr)) {  // needs the right to write the host's root
        ASSERT_TRUE(RunLua("p = Lua_GetDriverInstallPath()"));
        RemoveDirectoryW(onZ.c_str());
        EXPECT_EQ(GlobalText("p"), onZ);
    }
}

bool PrivilegeEnabled(const wchar_t* name) {
    LUID luid;
    LookupPrivilegeValueW(nullptr, name, &luid);
    UniqueKernelHandle token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {{luid, 0}}};
    BOOL enabled = FALSE;
    PrivilegeCheck(token.get(), &set, &enabled);
    return enabled != FALSE;
}

TEST(System, PrivilegesAreSwitchedAndUnknownNamesLogged) {
    ASSERT_TRUE(RunLua("off = Lua_EnablePrivilege('SeShutdownPrivilege', false)"));
    EXPECT_TRUE(GlobalBoolean("off"));
    EXPECT_FALSE(PrivilegeEnabled(SE_SHUTDOWN_NAME));
    ASSERT_TRUE(RunLua("on = Lua_EnablePrivilege('SeShutdownPrivilege', true)"));
    EXPECT_TRUE(GlobalBoolean("on"));
    EXPECT_TRUE(PrivilegeEnabled(SE_SHUTDOWN_NAME));

    auto probe = RunProbe("Lua_Logout(tostring(Lua_EnablePrivilege('SeNoSuchPrivilege', true)))");
    EXPECT_TRUE(probe->LogContains(L"xm LookupPrivilegeValue failed!xm file:qpxprocesstoolhelp")) << probe->LogText();
    EXPECT_TRUE(probe->LogContains(L"xm LookupPrivilegeValue failed!xm err:1313")) << probe->LogText();
    EXPECT_TRUE(probe->LogContains(L"xm false")) << probe->LogText();
}

// Wine ends the whole session on any ExitWindowsEx call and refuses none, so this program's
// import of it is replaced by one that refuses, after noting what it was given.
struct ExitWindowsCall {
    UINT flags = 0;
    DWORD reason = 0;
    bool shutdownPrivilegeEnabled = false;
    int count = 0;
} exitWindowsCall;

BOOL WINAPI RefuseExitWindows(UINT flags, DWORD reason) {
    exitWindowsCall = {flags, reason, PrivilegeEnabled(SE_SHUTDOWN_NAME), exitWindowsCall.count + 1};
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}

TEST(System, ExitWindowsEnablesTheShutdownPrivilegeAndReportsARefusal) {
    ASSERT_TRUE(RunLua("Lua_EnablePrivilege('SeShutdownPrivilege', false)"));
    ASSERT_FALSE(PrivilegeEnabled(SE_SHUTDOWN_NAME));
    void* real = SwapImport("user32.dll", "ExitWindowsEx", reinterpret_cast<void*>(RefuseExitWindows));
    ASSERT_NE(real, nullptr);
    const bool ran = RunLua("r = Lua_ExitWindows(1 + 4, 2^31 + 2)");
    SwapImport("user32.dll", "ExitWindowsEx", real);
    ASSERT_TRUE(ran);
    EXPECT_EQ(exitWindowsCall.count, 1);
    EXPECT_EQ(exitWindowsCall.flags, static_cast<UINT>(EWX_SHUTDOWN | EWX_FORCE));
    EXPECT_EQ(exitWindowsCall.reason, 0x80000002u);
    EXPECT_TRUE(exitWindowsCall.shutdownPrivilegeEnabled);
    ASSERT_TRUE(RunLua("refused = r == false"));
    EXPECT_TRUE(GlobalBoolean("refused"));
}

}  // namespace
