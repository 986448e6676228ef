// The installer's entry and flow, on real installers built from test products: the order of
// hooks, every exit code and log line of the stopping paths, the single-instance guard and
// the script error box.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "testsupport.h"

namespace {

constexpr wchar_t kMutexPrefix[] = L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}";
constexpr wchar_t kErrorCaption[] = L":-( 杯具，脚本执行时发生错误";

class EntryFlow : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"QPX_MUTEX_GUID", L"QPX_APP_ID", L"QPX_FAIL_HOOK",
                                    L"QPX_SHOW_COMPLETE", L"QPX_NOT_FUNCTION"}) {
            SetEnvironmentVariableW(name, nullptr);
        }
        tracePath_ = TracePath(L"trace");
        SetEnvironmentVariableW(L"QPX_TRACE", tracePath_.c_str());
    }

    static std::wstring TracePath(const std::wstring& name) {
        return FreshTempPath(L"qpx_flow_" + name + L".txt");
    }

    static std::wstring Installer(const std::wstring& product) {
        return L"\"" + ProgramFolder() + L"installers\\flow_" + product + L".exe\"";
    }

    // Runs a test installer to its end; its exit code.
    int Run(const std::wstring& product, LoggedProcess& process) {
        EXPECT_TRUE(process.Start(Installer(product)));
        return process.Wait(60000);
    }

    static std::string Trace(const std::wstring& path) { return ReadFileBytes(path); }
    std::string Trace() const { return Trace(tracePath_); }

    std::wstring tracePath_;
};

TEST_F(EntryFlow, MissingGlobalsScriptStopsBeforeAnything) {
    LoggedProcess p;
    EXPECT_EQ(Run(L"noglobals", p), 0);
    const std::wstring log = p.LogText();
    EXPECT_NE(log.find(L"xm LoadResource failed. Type : LUA ID : GLOBAL_VAR.LUAC\n"), std::wstring::npos)
        << log;
    EXPECT_TRUE(p.LogContains(L"xm DoResLua failed, GLOBAL_VAR.LUAC"));
    EXPECT_EQ(Trace(), "");  // the install script never ran
}

TEST_F(EntryFlow, MissingLayoutEndsAfterBeforeInitWithTheJoinedLog) {
    LoggedProcess p;
    EXPECT_EQ(Run(L"nolayout", p), 0);
    EXPECT_EQ(Trace(), "top-level\nQPXSE_BeforeInit\n");
    const std::wstring log = p.LogText();
    EXPECT_NE(log.find(L"xm Completewindow==true ~!\nxm Completewindow ~!\n"
                       L"xm LoadResource failed. type : XML, id : LAYOUT.XMLxm file:qpxinstaller\n"
                       L"xm LoadResource failed. type : XML, id : LAYOUT.XMLxm line:"),
              std::wstring::npos) << log;
    EXPECT_NE(log.find(L"xm LoadResource failed. type : XML, id : LAYOUT.XMLxm err:1813\n"),
              std::wstring::npos) << log;
}

TEST_F(EntryFlow, LayoutThatDoesNotParseIsLoggedWithTheParserMessage) {
    LoggedProcess p;
    EXPECT_EQ(Run(L"broken", p), 0);
    EXPECT_TRUE(p.LogContains(L"xm Load_buffer failed, Start-end tags mismatch")) << p.LogText();
    EXPECT_EQ(Trace(), "top-level\nQPXSE_BeforeInit\n");
}

TEST_F(EntryFlow, MissingOptionsDialogAndTheCompletionSwitch) {
    LoggedProcess p;
    EXPECT_EQ(Run(L"noinit", p), 0);
    EXPECT_TRUE(p.LogContains(L"xm node <Dlg name=\"InitDlg\"> is empty!"));
    EXPECT_TRUE(p.LogContains(L"xm Completewindow==true ~!"));

    SetEnvironmentVariableW(L"QPX_SHOW_COMPLETE", L"0");
    LoggedProcess hidden;
    EXPECT_EQ(Run(L"noinit", hidden), 0);
    EXPECT_TRUE(hidden.LogContains(L"xm Completewindow==false ~!"));
    EXPECT_FALSE(hidden.LogContains(L"xm Completewindow ~!"));
}

TEST_F(EntryFlow, HookThatIsNotAFunctionIsSkipped) {
    SetEnvironmentVariableW(L"QPX_NOT_FUNCTION", L"QPXSE_BeforeInit");
    LoggedProcess p;
    EXPECT_EQ(Run(L"noinit", p), 0);
    EXPECT_EQ(Trace(), "top-level\n");
    EXPECT_TRUE(p.LogContains(L"xm node <Dlg name=\"InitDlg\"> is empty!"));
}

TEST_F(EntryFlow, MutexNameFollowsTheThreeRules) {
    const std::map<std::pair<std::wstring, std::wstring>, std::wstring> cases = {
        {{L"", L"22"}, std::wstring(kMutexPrefix) + L"22"},
        {{L"", L""}, kMutexPrefix},
        {{L"", L"0"}, kMutexPrefix},
        {{L"Local\\MyProductGuid", L"22"}, L"Local\\MyProductGuid"},
    };
    for (const auto& [settings, name] : cases) {
        SetEnvironmentVariableW(L"QPX_MUTEX_GUID", settings.first.empty() ? nullptr : settings.first.c_str());
        SetEnvironmentVariableW(L"QPX_APP_ID", settings.second.empty() ? nullptr : settings.second.c_str());
        LoggedProcess p;
        EXPECT_EQ(Run(L"noinit", p), 0);
        EXPECT_TRUE(p.LogContains(L"xm  szObjectName = " + name + L" ")) << p.LogText();
    }
}

TEST_F(EntryFlow, OverlongMutexNameIsRefusedNotCut) {
    const std::wstring guid(300, L'g');
    SetEnvironmentVariableW(L"QPX_MUTEX_GUID", guid.c_str());
    LoggedProcess p;
    EXPECT_EQ(Run(L"noinit", p), 0);
    EXPECT_TRUE(p.LogContains(L"xm instance name longer than 259 units, refused"));
    EXPECT_EQ(Trace(), "top-level\n");
}

TEST_F(EntryFlow, SecondStartBringsTheFirstForwardAndEndsWithoutHooks) {
    SetEnvironmentVariableW(L"QPX_APP_ID", L"4711");
    LoggedProcess first;
    ASSERT_TRUE(first.Start(Installer(L"initonly")));
    HWND window = WaitForWindow(L"Qpx_Installer", L"", first.ProcessId(), 30000);
    ASSERT_NE(window, nullptr);

    const std::wstring secondTrace = TracePath(L"second");
    SetEnvironmentVariableW(L"QPX_TRACE", secondTrace.c_str());
    LoggedProcess second;
    EXPECT_EQ(Run(L"initonly", second), 0);
    EXPECT_TRUE(second.LogContains(L"xm CreateAppInstance return true"));
    EXPECT_EQ(Trace(secondTrace), "top-level\n");  // scripts ran, no hook did

    // Closing the options dialog from elsewhere cancels the wizard, whatever the close says:
    // only the dialog's own install button answers "install". No later hook.
    PostMessageW(window, WM_CLOSE, 1, 0);
    EXPECT_EQ(first.Wait(30000), 0);
    EXPECT_EQ(Trace(), "top-level\nQPXSE_BeforeInit\n");
}

TEST_F(EntryFlow, ScriptErrorInAHookShowsOneBoxAndEndsTheProcess) {
    SetEnvironmentVariableW(L"QPX_FAIL_HOOK", L"QPXSE_BeforeInit");
    LoggedProcess p;
    ASSERT_TRUE(p.Start(Installer(L"initonly")));
    HWND box = WaitForWindow(L"#32770", kErrorCaption, p.ProcessId(), 30000);
    ASSERT_NE(box, nullptr);
    const std::wstring text = MessageBoxText(box);
    EXPECT_NE(text.find(L"attempt to index field 'missing' (a nil value)\n      <call stack>\n-> | "),
              std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\n--  | "), std::wstring::npos) << text;
    const std::wstring feedback = L"请向我们反馈以上错误信息，以便我们改善产品质量！";
    ASSERT_GE(text.size(), feedback.size());
    EXPECT_EQ(text.substr(text.size() - feedback.size()), feedback);
    EXPECT_EQ(text[text.size() - feedback.size() - 1], L'\n');
    EXPECT_EQ(WaitForWindow(L"Qpx_Installer", L"", p.ProcessId(), 0), nullptr);
    ASSERT_TRUE(PressButton(box, IDOK));
    EXPECT_EQ(p.Wait(30000), 0);
    EXPECT_EQ(Trace(), "top-level\nQPXSE_BeforeInit\n");
}

}  // namespace
