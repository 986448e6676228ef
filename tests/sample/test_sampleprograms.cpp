// The sample product's own programs and DLLs as its install script uses them: the statistics
// report, shortcuts, the shell extension's registration, the service, and the three programs.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>

#include "qpxhandle.h"
#include "testsupport.h"

using Microsoft::WRL::ComPtr;

namespace {

// The sample's programs are built beside the tests' folder.
std::wstring Built(const std::wstring& name) {
    const std::wstring relative = ProgramFolder() + L"..\\resources\\programs\\" + name;
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return length && length < MAX_PATH ? full : relative;
}

// Runs a program to its end; its exit code, -1 when it did not end in time.
int RunToEnd(const std::wstring& program, const std::wstring& arguments = L"", DWORD timeoutMs = 30000) {
    LoggedProcess process;
    if (!process.Start(L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments))) return -2;
    return process.Wait(timeoutMs);
}

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// ---- statistics DLL ----

TEST(StatisticsDll, EveryCallOfTheInstallReportIsOneExactLineBesideTheDll) {
    const std::wstring folder = FreshFolder(L"corvanestat");
    const std::wstring dll = folder + L"\\CorvaneStat.dll";
    ASSERT_TRUE(CopyFileW(Built(L"CorvaneStat.dll").c_str(), dll.c_str(), FALSE));
    {
        UniqueModule module(LoadLibraryW(dll.c_str()));
        ASSERT_TRUE(module);
        using IntFn = void(WINAPI*)(int);
        Export<IntFn>(module.get(), "stat_unionid")(4003);
        Export<IntFn>(module.get(), "stat_appid")(-7);
        Export<IntFn>(module.get(), "stat_level")(2);
        Export<void(WINAPI*)(int, int, int, int)>(module.get(), "stat_version_ex")(2, 0, 3, 159);
        Export<void(WINAPI*)(const char*, int)>(module.get(), "stat_install_addr")("stats.corvane.example", 8502);
        EXPECT_TRUE(Export<BOOL(WINAPI*)()>(module.get(), "stat_init")());
        Export<int(WINAPI*)(int)>(module.get(), "stat_install")(1);
        auto post = Export<int(WINAPI*)(const char*, const char*, int, BOOL)>(module.get(), "stat_http_post");
        EXPECT_EQ(1, post("https://stats.corvane.example/install", nullptr, 0, TRUE));
        EXPECT_EQ(1, post(nullptr, "k=\xe4\xb8\xad", 5, 7));  // text as given, any true as 1
        Export<void(WINAPI*)()>(module.get(), "stat_close")();
    }
    EXPECT_EQ("stat_unionid(4003)\r\n"
              "stat_appid(-7)\r\n"
              "stat_level(2)\r\n"
              "stat_version_ex(2,0,3,159)\r\n"
              "stat_install_addr(stats.corvane.example,8502)\r\n"
              "stat_init()\r\n"
              "stat_install(1)\r\n"
              "stat_http_post(https://stats.corvane.example/install,nil,0,1)\r\n"
              "stat_http_post(nil,k=\xe4\xb8\xad,5,1)\r\n"
              "stat_close()\r\n",
              ReadFileBytes(folder + L"\\CorvaneStat.log"));
    RemoveWithTheShell(folder);
}

// ---- shell support DLL ----

struct LinkFields {
    std::wstring path, folder, description, icon;
    int iconIndex = -1;
};

LinkFields LoadLink(const std::wstring& file) {
    LinkFields fields;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> persist;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IShellLinkW, &link)) ||
        FAILED(link.As(&persist)) || FAILED(persist->Load(file.c_str(), STGM_READ)))
        return fields;
    wchar_t text[1024] = L"";
    link->GetPath(text, 1024, nullptr, 0);
    fields.path = text;
    link->GetWorkingDirectory(text, 1024);
    fields.folder = text;
    link->GetDescription(text, 1024);
    fields.description = text;
    link->GetIconLocation(text, 1024, &fields.iconIndex);
    fields.icon = text;
    return fields;
}

class ShellDll : public ::testing::Test {
protected:
    using ShortcutFn = void(WINAPI*)(const wchar_t*, const wchar_t*, const wchar_t*);
    // A name no real shortcut has: the test's links are removed again.
    static constexpr wchar_t kName[] = L"Corvane Sample Test";

    void SetUp() override {
        module_.reset(LoadLibraryW(Built(L"CorvaneShell.dll").c_str()));
        ASSERT_TRUE(module_);
        program_ = Built(L"Corvane.exe");
        desktopLink_ = ShellFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + kName + L".lnk";
        quickLaunchLink_ = ShellFolder(CSIDL_APPDATA) + L"\\Microsoft\\Internet Explorer\\Quick Launch\\" +
                           kName + L".lnk";
        DeleteFileW(desktopLink_.c_str());
        DeleteFileW(quickLaunchLink_.c_str());
    }
    void TearDown() override {
        DeleteFileW(desktopLink_.c_str());
        DeleteFileW(quickLaunchLink_.c_str());
    }
    void ExpectLinkToProgram(const std::wstring& link) {
        ASSERT_TRUE(Exists(link)) << link;
        CoInitialize(nullptr);
        const LinkFields fields = LoadLink(link);
        CoUninitialize();
        EXPECT_EQ(program_, fields.path);
        EXPECT_EQ(program_.substr(0, program_.find_last_of(L'\\')), fields.folder);
        EXPECT_EQ(kName, fields.description);
        EXPECT_EQ(program_, fields.icon);
        EXPECT_EQ(0, fields.iconIndex);
    }

    UniqueModule module_;
    std::wstring program_, desktopLink_, quickLaunchLink_;
};

// Called, as the install script does, on a thread that never initialised COM: the DLL brings
// COM up for the call and leaves the thread as it found it.
TEST_F(ShellDll, DesktopShortcutOnAThreadWithoutCom) {
    Export<ShortcutFn>(module_.get(), "CreateDesktopShortcut")(program_.c_str(), L"CorvaneWnd", kName);
    ExpectLinkToProgram(desktopLink_);
    const HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_OK, again) << "COM was left initialised on the calling thread";
    if (SUCCEEDED(again)) CoUninitialize();
}

TEST_F(ShellDll, QuickLaunchShortcutIsMadeAndUnpinnedThroughTheUnexpandedPath) {
    Export<ShortcutFn>(module_.get(), "CreateTaskbarShortcut")(program_.c_str(), L"CorvaneWnd", kName);
    ExpectLinkToProgram(quickLaunchLink_);
    auto unpin = Export<void(WINAPI*)(const wchar_t*)>(module_.get(), "UnpinFromTaskbar");
    const std::wstring unexpanded =
        std::wstring(L"%APPDATA%\\Microsoft\\Internet Explorer\\Quick Launch\\") + kName + L".lnk";
    unpin(unexpanded.c_str());
    EXPECT_FALSE(Exists(quickLaunchLink_));
    unpin(unexpanded.c_str());  // already gone: nothing to do
}

// A display name that is not a plain file name would place the link outside its folder; a path
// that names no shortcut is not unpinned.
TEST_F(ShellDll, NamesOutsideTheFolderAndFilesOtherThanShortcutsAreLeftAlone) {
    const std::wstring outside = ShellFolder(CSIDL_APPDATA) + L"\\Corvane Sample Outside.lnk";
    DeleteFileW(outside.c_str());
    Export<ShortcutFn>(module_.get(), "CreateTaskbarShortcut")(
        program_.c_str(), L"CorvaneWnd", L"..\\..\\..\\Corvane Sample Outside");
    EXPECT_FALSE(Exists(outside));
    DeleteFileW(outside.c_str());

    const std::wstring other = FreshTempPath(L"corvane-not-a-link.txt");
    ASSERT_TRUE(WriteFileBytes(other, "keep"));
    Export<void(WINAPI*)(const wchar_t*)>(module_.get(), "UnpinFromTaskbar")(other.c_str());
    EXPECT_TRUE(Exists(other));
    DeleteFileW(other.c_str());
}

// Wine derives file rights from the Unix modes and keeps no new entries, so only the answer
// can be checked here: a folder that is not there is a failure, not a success.
TEST_F(ShellDll, AllowAccountPrivilegeReportsAMissingFolder) {
    auto allow = Export<BOOL(WINAPI*)(const wchar_t*)>(module_.get(), "AllowAccountPrivilege");
    EXPECT_FALSE(allow((FreshFolder(L"corvanerights") + L"\\missing").c_str()));
    EXPECT_FALSE(allow(nullptr));
    RemoveWithTheShell(FreshTempPath(L"corvanerights"));
}

// ---- shell extension (the build of this program's width; the other is registered by regsvr32 elsewhere) ----

constexpr wchar_t kExtensionKey[] = L"Software\\Classes\\CLSID\\{6F1C2A4E-3B7D-4E59-9A0C-2D8E5B1F7C43}";

std::wstring ReadText(REGSAM view, const wchar_t* subkey, const wchar_t* value) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kExtensionKey) + subkey).c_str(), 0,
                      KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS)
        return L"<none>";
    wchar_t text[1024] = L"";
    DWORD type = 0, size = sizeof(text) - sizeof(wchar_t);
    if (RegQueryValueExW(key.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return L"<no value>";
    return text;
}

TEST(ShellExtension, RegistersItsClassInItsOwnViewOnlyAndUnregistersIt) {
    const std::wstring dll = Built(kX64 ? L"CorvaneExt64.dll" : L"CorvaneExt.dll");
    UniqueModule module(LoadLibraryW(dll.c_str()));
    ASSERT_TRUE(module);
    using EntryFn = HRESULT(WINAPI*)();
    auto unregister = Export<EntryFn>(module.get(), "DllUnregisterServer");
    ASSERT_EQ(S_OK, Export<EntryFn>(module.get(), "DllRegisterServer")());
    EXPECT_EQ(L"Corvane shell extension", ReadText(kOwnView, L"", nullptr));
    EXPECT_EQ(dll, ReadText(kOwnView, L"\\InprocServer32", nullptr));
    EXPECT_EQ(L"Apartment", ReadText(kOwnView, L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(L"<none>", ReadText(kOtherView, L"", nullptr));

    EXPECT_EQ(S_OK, unregister());
    EXPECT_EQ(L"<none>", ReadText(kOwnView, L"", nullptr));
    EXPECT_EQ(S_OK, unregister()) << "unregistering what is not registered";
    EXPECT_EQ(S_OK, Export<HRESULT(WINAPI*)(BOOL, const wchar_t*)>(module.get(), "DllInstall")(TRUE, L""));
}

// ---- service ----

DWORD ServiceState(SC_HANDLE manager) {
    UniqueServiceHandle service(OpenServiceW(manager, L"CorvaneSearch", SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : ~0u;
    QueryServiceStatus(service.get(), &status);
    return status.dwCurrentState;
}

TEST(SearchService, InstallRunsItAndUninstallRemovesIt) {
    const std::wstring program = Built(L"CorvaneSearch.exe");
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    ASSERT_EQ(0, RunToEnd(program, L"--uninstall"));  // a clean start, also when it was never there
    EXPECT_EQ(0u, ServiceState(manager.get()));

    ASSERT_EQ(0, RunToEnd(program, L"--install"));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(manager.get()));
    {
        UniqueServiceHandle service(OpenServiceW(manager.get(), L"CorvaneSearch", SERVICE_QUERY_CONFIG));
        ASSERT_TRUE(service);
        alignas(QUERY_SERVICE_CONFIGW) BYTE buffer[8192];
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
        DWORD needed = 0;
        ASSERT_TRUE(QueryServiceConfigW(service.get(), config, sizeof(buffer), &needed));
        EXPECT_EQ(L"\"" + program + L"\"", std::wstring(config->lpBinaryPathName));
        EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config->dwStartType);
        EXPECT_EQ(std::wstring(L"Corvane file search"), config->lpDisplayName);
    }
    EXPECT_EQ(0, RunToEnd(program, L"--install")) << "installing over a running installation";
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(manager.get()));

    EXPECT_EQ(0, RunToEnd(program, L"--uninstall"));
    EXPECT_EQ(0u, ServiceState(manager.get()));
    EXPECT_NE(0, RunToEnd(program, L"--unknown"));
}

// ---- programs ----

TEST(Programs, MainWindowOpensAndClosesOnRequest) {
    LoggedProcess process;
    ASSERT_TRUE(process.Start(L"\"" + Built(L"Corvane.exe") + L"\" /menu"));
    HWND window = WaitForWindow(L"CorvaneWnd", L"Corvane", process.ProcessId(), 10000);
    ASSERT_TRUE(window);
    EXPECT_TRUE(IsWindowVisible(window));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, process.Wait(10000));
}

TEST(Programs, UpdaterJustRuns) { EXPECT_EQ(0, RunToEnd(Built(L"CorvaneUpdate.exe"))); }

}  // namespace
