// Shell functions with real effects: shortcut files loaded back, programs started (hidden and
// waited for, as the shell user), DLLs registered in-process and through regsvr32.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>

#include "nativetest.h"
#include "qpxlaunch.h"

using Microsoft::WRL::ComPtr;

namespace {

struct LinkFields {
    std::wstring path, arguments, folder, description;
};

LinkFields LoadLink(const std::wstring& file) {
    LinkFields fields;
    CoInitialize(nullptr);
    {
        ComPtr<IShellLinkW> link;
        ComPtr<IPersistFile> persist;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IShellLinkW, &link)) &&
            SUCCEEDED(link.As(&persist)) && SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
            wchar_t text[1024] = L"";
            link->GetPath(text, 1024, nullptr, 0);
            fields.path = text;
            text[0] = 0;
            link->GetArguments(text, 1024);
            fields.arguments = text;
            text[0] = 0;
            link->GetWorkingDirectory(text, 1024);
            fields.folder = text;
            text[0] = 0;
            link->GetDescription(text, 1024);
            fields.description = text;
        }
    }
    CoUninitialize();
    return fields;
}

std::wstring TempFolder() { return FreshTempPath(L""); }

// A program's record: its command line, working folder and "hidden" or "shown".
std::wstring WaitForRecord(const std::wstring& path, DWORD timeoutMs = 10000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        const std::wstring text = ReadUtf8File(path);
        if (std::count(text.begin(), text.end(), L'\n') >= 3 || GetTickCount64() >= end) return text;
        Sleep(50);
    }
}

TEST(Shortcuts, ProgramLinkInAFolderThatDidNotExistLoadsBack) {
    const std::wstring program = CopyTestProgram(L"qpx_link_target.exe");
    const std::wstring folder = TempFolder() + L"qpx_links_" + std::to_wstring(GetTickCount()) + L"\\子目录";
    const std::wstring link = folder + L"\\程序.lnk";
    SetEnvironmentVariableW(L"QPX_LINK_FOLDER", folder.c_str());
    ASSERT_TRUE(RunLua("ok = Lua_CreateShortcut(" + LuaText(program) +
                       ", '%QPX_LINK_FOLDER%\\\\程序.lnk', '/x \"a b\"', '说明')"));
    EXPECT_TRUE(GlobalBoolean("ok"));
    const LinkFields fields = LoadLink(link);
    EXPECT_EQ(_wcsicmp(fields.path.c_str(), program.c_str()), 0) << fields.path;
    EXPECT_EQ(fields.arguments, L"/x \"a b\"");
    EXPECT_EQ(_wcsicmp(fields.folder.c_str(), program.substr(0, program.rfind(L'\\')).c_str()), 0)
        << fields.folder;
    EXPECT_EQ(fields.description, L"说明");

    // Three arguments: the third is the arguments all the same. Four with a nil description:
    // arguments only. An existing link is replaced.
    ASSERT_TRUE(RunLua("ok3 = Lua_CreateShortcut(" + LuaText(program) + ", " + LuaText(link) + ", '/menu')"));
    EXPECT_TRUE(GlobalBoolean("ok3"));
    LinkFields three = LoadLink(link);
    EXPECT_EQ(three.arguments, L"/menu");
    EXPECT_EQ(three.description, L"");
    ASSERT_TRUE(RunLua("ok4 = Lua_CreateShortcut(" + LuaText(program) + ", " + LuaText(link) + ", '/used', nil)"));
    EXPECT_TRUE(GlobalBoolean("ok4"));
    LinkFields four = LoadLink(link);
    EXPECT_EQ(four.arguments, L"/used");
    EXPECT_EQ(four.description, L"");
}

TEST(Shortcuts, UrlTargetGivesAnInternetShortcut) {
    const std::wstring link = FreshTempPath(L"qpx_site.url");
    ASSERT_TRUE(RunLua("ok = Lua_CreateShortcut('http://example.com/a?b=1&c=%20', " + LuaText(link) + ")"));
    EXPECT_TRUE(GlobalBoolean("ok"));
    const std::string text = ReadFileBytes(link);
    EXPECT_NE(text.find("[InternetShortcut]"), std::string::npos) << text;
    EXPECT_NE(text.find("URL=http://example.com/a?b=1&c=%20"), std::string::npos) << text;
}

TEST(Exec, WaitRunsTheProgramHiddenAndReturnsWhenItEnds) {
    const std::wstring program = CopyTestProgram(L"qpx_exec_wait.exe");
    const std::wstring record = FreshTempPath(L"qpx_exec_wait.txt");
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(RunLua("ok = Lua_Exec(" + LuaText(program) + ", 'ignored', " + LuaText(L"record " + record + L" 1500") +
                       ", true)"));
    EXPECT_GE(GetTickCount64() - start, 1400u);
    EXPECT_TRUE(GlobalBoolean("ok"));
    // The record is complete at once: the program had ended.
    const std::wstring text = ReadUtf8File(record);
    EXPECT_NE(text.find(L"\nhidden\n"), std::wstring::npos) << text;
    // The working folder is the program's.
    EXPECT_NE(text.find(L"\n" + program.substr(0, program.rfind(L'\\')) + L"\n"), std::wstring::npos) << text;
}

TEST(Exec, MissingFiles) {
    const std::wstring missing = FreshTempPath(L"qpx_no_such_program.exe");
    ASSERT_TRUE(RunLua("unpin = Lua_Exec(" + LuaText(missing) + ", 'TASKBARUNPIN') "
                       "startunpin = Lua_Exec(" + LuaText(missing) + ", 'Startunpin')"));
    EXPECT_TRUE(GlobalBoolean("unpin"));
    EXPECT_TRUE(GlobalBoolean("startunpin"));

    auto probe = RunProbe("if Lua_Exec(" + LuaText(missing) + ", 'open') == false then Lua_Logout('false') end");
    EXPECT_EQ(probe->Wait(), 1);
    EXPECT_TRUE(probe->LogContains(L"xm Fun:Lua_Exec, Description:" + missing + L" it's not exists!"))
        << probe->LogText();
    EXPECT_TRUE(probe->LogContains(L"xm false")) << probe->LogText();
}

TEST(Exec, PinVerbsAreTrueWhateverTheShellAnswers) {
    // A file type nothing is registered for: the shell can do nothing with it.
    const std::wstring file = FreshTempPath(L"qpx_unassociated.qpxnone");
    WriteFileBytes(file, "x");
    ASSERT_TRUE(RunLua("pin = Lua_Exec(" + LuaText(file) + ", 'taskbarPin') "
                       "open = Lua_Exec(" + LuaText(file) + ", 'open')"));
    EXPECT_TRUE(GlobalBoolean("pin"));
    EXPECT_FALSE(GlobalBoolean("open"));
}

TEST(Exec, AsShellUserStartsWithTheProgramFirstOnItsCommandLine) {
    const std::wstring program = CopyTestProgram(L"qpx_exec_shell.exe");
    const std::wstring record = FreshTempPath(L"qpx_exec_shell.txt");
    const std::string call = "Lua_Exec(" + LuaText(program) + ", 'open', " + LuaText(L"record " + record + L" 2000") +
                             ", true, true)";
    // No shell window: nothing starts.
    if (!GetShellWindow()) {
        EXPECT_EQ(LaunchAsShellUser(program, L"record " + record, L""), kLaunchNoShellWindow);
        ASSERT_TRUE(RunLua("noshell = " + call));
        EXPECT_FALSE(GlobalBoolean("noshell"));
    }

    StartedProgram shell;
    ASSERT_TRUE(shell.Start(ProgramFolder() + L"qpxtestprog.exe", L"shell"));
    const ULONGLONG end = GetTickCount64() + 10000;
    while (!GetShellWindow() && GetTickCount64() < end) Sleep(50);
    ASSERT_NE(GetShellWindow(), nullptr);

    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(RunLua("ok = " + call));
    EXPECT_LT(GetTickCount64() - start, 1500u);  // the wait flag is not used
    EXPECT_TRUE(GlobalBoolean("ok"));
    const std::wstring text = WaitForRecord(record);
    EXPECT_EQ(text.find(L"\"" + program + L"\" record "), 0u) << text;
    EXPECT_NE(text.find(L"\n" + program.substr(0, program.rfind(L'\\')) + L"\n"), std::wstring::npos) << text;

    // Later programs of this Wine session must find no shell again.
    PostMessageW(GetShellWindow(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(shell.WaitEnded(5000));
    EXPECT_EQ(GetShellWindow(), nullptr);
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QPXTestReg"); }
    void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QPXTestReg"); }

    static bool Registered() {
        DWORD value = 0, size = sizeof(value);
        return RegGetValueW(HKEY_CURRENT_USER, L"Software\\QPXTestReg", L"Registered", RRF_RT_REG_DWORD, nullptr,
                            &value, &size) == ERROR_SUCCESS && value == 1;
    }
    static bool WaitRegistered(bool wanted) {
        const ULONGLONG end = GetTickCount64() + 15000;
        while (Registered() != wanted) {
            if (GetTickCount64() >= end) return false;
            Sleep(100);
        }
        return true;
    }
};

TEST_F(Registration, RegSvr32CallsTheEntryPointsInProcess) {
    const std::wstring dll = ProgramFolder() + L"qpxtestreg.dll";
    ASSERT_TRUE(RunLua("reg = Lua_RegSvr32(" + LuaText(dll) + ", true)"));
    EXPECT_TRUE(GlobalBoolean("reg"));
    EXPECT_TRUE(Registered());
    ASSERT_TRUE(RunLua("unreg = Lua_RegSvr32(" + LuaText(dll) + ", false)"));
    EXPECT_TRUE(GlobalBoolean("unreg"));
    EXPECT_FALSE(Registered());
    ASSERT_TRUE(RunLua("noentry = Lua_RegSvr32(" + LuaText(ProgramFolder() + L"qpxtestnoreg.dll") + ", true)"));
    EXPECT_FALSE(GlobalBoolean("noentry"));

    const std::wstring notDll = FreshTempPath(L"qpx_not_a_dll.dll");
    WriteFileBytes(notDll, "text");
    auto probe = RunProbe("Lua_RegSvr32(" + LuaText(notDll) + ", true)");
    EXPECT_TRUE(probe->LogContains(L"xm Fun:Lua_RegSvr32, Description: LoadLibrary " + notDll + L" Failed!"))
        << probe->LogText();
    EXPECT_TRUE(probe->LogContains(L"xm xm file:qpxscriptengine")) << probe->LogText();
}

TEST_F(Registration, RegistDllRunsTheSystemRegsvr32NotOneBesideTheInstaller) {
    // A regsvr32.exe planted beside this program would record its start.
    const std::wstring planted = ProgramFolder() + L"regsvr32.exe";
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"qpxtestprog.exe").c_str(), planted.c_str(), FALSE));
    DeleteFileW((planted + L".ran").c_str());
    const std::wstring dll = ProgramFolder() + L"qpxtestreg.dll";
    ASSERT_TRUE(RunLua("ok = Lua_RegistDll(" + LuaText(dll) + ", '/s')"));
    EXPECT_TRUE(GlobalBoolean("ok"));
    EXPECT_TRUE(WaitRegistered(true));
    ASSERT_TRUE(RunLua("ok = Lua_RegistDll(" + LuaText(dll) + ", '/u /s')"));
    EXPECT_TRUE(GlobalBoolean("ok"));
    EXPECT_TRUE(WaitRegistered(false));
    Sleep(500);
    EXPECT_FALSE(FileExists(planted + L".ran"));
    DeleteFileW(planted.c_str());
    DeleteFileW((planted + L".ran").c_str());
}

TEST_F(Registration, RegistDllCarriesAPathTheAnsiCodePageCannot) {
    const std::wstring folder = TempFolder() + L"注册组件";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring dll = folder + L"\\qpxtestreg.dll";
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"qpxtestreg.dll").c_str(), dll.c_str(), FALSE));
    ASSERT_TRUE(RunLua("ok = Lua_RegistDll(" + LuaText(dll) + ", '/s')"));
    EXPECT_TRUE(GlobalBoolean("ok"));
    EXPECT_TRUE(WaitRegistered(true));
}

TEST_F(Registration, MissingDllsAreLogged) {
    const std::wstring missing = FreshTempPath(L"qpx_missing.dll");
    auto probe = RunProbe("Lua_RegSvr32(" + LuaText(missing) + ", true) Lua_RegistDll(" + LuaText(missing) + ", '/s')");
    EXPECT_TRUE(probe->LogContains(L"xm Fun:Lua_RegSvr32, Description:" + missing + L" it's not exists!"))
        << probe->LogText();
    EXPECT_TRUE(probe->LogContains(L"xm Fun:Lua_RegistDll, Description:" + missing + L" it's not exists!"))
        << probe->LogText();
}

}  // namespace
