// The switches of unattended runs and the log file, and the answers message boxes get when
// nobody is there to click.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <thread>
#include <vector>

#include "qpxinitdlg.h"
#include "qpxlog.h"
#include "qpxmessagebox.h"
#include "qpxswitches.h"
#include "qpxtext.h"
#include "testsupport.h"

namespace {

TEST(Switches, MatchedWithoutRegardToCaseEitherPrefixAndLeftAloneOtherwise) {
    InstallerSwitches s = ParseSwitches(L"setup.exe");
    EXPECT_FALSE(s.silent || s.launch || s.hasFolder || s.hasLogFile);

    s = ParseSwitches(L"\"C:\\a b\\setup.exe\" -s /Launch -uid:4100 /LOG=\"C:\\my logs\\x.log\" /path:C:\\x");
    EXPECT_TRUE(s.silent);
    EXPECT_TRUE(s.launch);
    EXPECT_TRUE(s.hasLogFile);
    EXPECT_EQ(s.logFile, L"C:\\my logs\\x.log");
    EXPECT_FALSE(s.hasFolder);

    // Near misses are the scripts' words, not switches.
    s = ParseSwitches(L"setup.exe /SILENT S /S2 --S /LOG /LAUNCHX /log=");
    EXPECT_FALSE(s.silent || s.launch || s.hasFolder);
    EXPECT_TRUE(s.hasLogFile);
    EXPECT_EQ(s.logFile, L"");
    // A program name that looks like a switch is still the program.
    EXPECT_FALSE(ParseSwitches(L"/S").silent);

    // The uninstaller's copy learns where it came from; the rest of the line passes on as it is.
    s = ParseSwitches(L"u.exe \"/ORIGIN=C:\\Program Files\\x\\Uninstall.exe\" /S");
    EXPECT_TRUE(s.hasOrigin && s.silent);
    EXPECT_EQ(s.origin, L"C:\\Program Files\\x\\Uninstall.exe");
    EXPECT_EQ(CommandLineTail(L"\"C:\\a b\\u.exe\"   /S  /LOG=\"x y\" "), L"/S  /LOG=\"x y\" ");
    EXPECT_EQ(CommandLineTail(L"u.exe"), L"");
}

TEST(Switches, TheFolderTakesTheRestOfTheLineBlanksIncluded) {
    InstallerSwitches s = ParseSwitches(L"setup.exe /S /D=C:\\Program Files\\My  App  ");
    EXPECT_TRUE(s.silent);
    EXPECT_TRUE(s.hasFolder);
    EXPECT_EQ(s.folder, L"C:\\Program Files\\My  App");
    // Whatever follows belongs to the folder, switches included.
    s = ParseSwitches(L"setup.exe -d=D:\\x /LAUNCH");
    EXPECT_EQ(s.folder, L"D:\\x /LAUNCH");
    EXPECT_FALSE(s.launch);
    EXPECT_EQ(ParseSwitches(L"setup.exe /D=\"C:\\a b\"").folder, L"C:\\a b");
    EXPECT_EQ(ParseSwitches(L"setup.exe \"/D=C:\\a b\"").folder, L"C:\\a b");
    EXPECT_EQ(ParseSwitches(L"setup.exe /x=\"/D=C:\\no\" /D=C:\\yes").folder, L"C:\\yes");
}

// The product's uninstaller removes its folder with all it holds: the options (and /D=) never
// take a folder whose removal would take the system's or a user's files with it.
TEST(InstallFolder, FoldersTheUninstallerCouldNeverRemoveAreRefusedBeforeAnythingIsMade) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    wchar_t programs[MAX_PATH] = L"", profile[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programs);
    SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile);
    const std::wstring insideWindows = std::wstring(windows) + L"\\qpx_never_made";
    auto confirm = [](const std::wstring& folder) {
        return InitDlgRules::ConfirmChoices(PageChoices{{{L"InstallPath", folder}}, {}});
    };
    for (const std::wstring& folder : {std::wstring(L"C:\\"), std::wstring(windows), insideWindows,
                                       std::wstring(programs), std::wstring(programs) + L"\\",
                                       std::wstring(profile)}) {
        const auto refusal = confirm(folder);
        ASSERT_TRUE(refusal.has_value()) << WideToUtf8(folder);
        EXPECT_EQ(refusal->caption, L"错误");
        EXPECT_EQ(refusal->text, L"安装路径不能是磁盘根目录、Program Files目录本身或用户目录，"
                                 L"也不能在Windows目录中，请为产品选择一个单独的文件夹！");
    }
    EXPECT_EQ(GetFileAttributesW(insideWindows.c_str()), INVALID_FILE_ATTRIBUTES);
    // Paths that are not full keep the message they always had.
    EXPECT_EQ(confirm(L"relative\\dir")->text, L"安装路径非法，请重新修改！");
    const std::wstring own = FreshTempPath(L"qpx_own_folder");
    EXPECT_FALSE(confirm(own).has_value());
    EXPECT_FALSE(confirm(std::wstring(programs) + L"\\qpx_product").has_value());
    RemoveDirectoryW((std::wstring(programs) + L"\\qpx_product").c_str());
}

TEST(MessageBoxes, AnUnattendedBoxGetsItsDefaultButton) {
    EXPECT_EQ(DefaultButton(MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(DefaultButton(MB_OKCANCEL | MB_ICONWARNING | MB_SETFOREGROUND), IDOK);
    EXPECT_EQ(DefaultButton(MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_EQ(DefaultButton(MB_ABORTRETRYIGNORE | MB_ICONQUESTION), IDABORT);
    EXPECT_EQ(DefaultButton(MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
    EXPECT_EQ(DefaultButton(MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(DefaultButton(MB_YESNO | MB_DEFBUTTON4), IDYES);  // no fourth button: the first
    EXPECT_EQ(DefaultButton(MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(DefaultButton(MB_CANCELTRYCONTINUE | MB_DEFBUTTON3), IDCONTINUE);
    EXPECT_EQ(DefaultButton(0xF), IDOK);  // not a button set

    AnswerMessageBoxesUnattended();
    EXPECT_EQ(ShowMessageBox(nullptr, L"nobody sees this", L"caption", MB_YESNO | MB_DEFBUTTON2), IDNO);
}

TEST(LogFile, EveryLineWithItsTimeAndThreadInTheOrderWritten) {
    EXPECT_EQ(LogFileLine(12, 7, L"xm 安装 done\r\n"), "      12     7 xm \xe5\xae\x89\xe8\xa3\x85 done\r\n");
    EXPECT_EQ(LogFileLine(123456789, 123456, L"two\nlines"), "123456789 123456 two\nlines\r\n");

    EXPECT_FALSE(OpenLogFile(L"Z:\\qpx\\no such folder\\x.log"));
    const std::wstring path = FreshTempPath(L"qpx_unattended.log");
    WriteFileBytes(path, "earlier run\r\n");
    ASSERT_TRUE(OpenLogFile(path));
    constexpr int kLines = 200;
    auto writer = [](const wchar_t* who) {
        for (int i = 0; i < kLines; ++i) LogLine(L"%s %d\r\n", who, i);
    };
    std::thread a(writer, L"a"), b(writer, L"b");
    a.join();
    b.join();

    const std::string text = ReadFileBytes(path);
    ASSERT_EQ(text.rfind("earlier run\r\n", 0), 0u) << "appended, not replaced";
    int next[2] = {0, 0};
    unsigned long threads[2] = {0, 0};
    size_t at = text.find("\r\n") + 2;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        unsigned long ms = 0, thread = 0;
        char who = 0;
        int number = -1;
        ASSERT_EQ(sscanf(text.substr(at, end - at).c_str(), "%lu %lu xm %c %d", &ms, &thread, &who, &number), 4)
            << text.substr(at, end - at);
        const int w = who - 'a';
        ASSERT_TRUE(w == 0 || w == 1);
        EXPECT_EQ(number, next[w]++) << "lines of one thread stay in order";
        if (!threads[w]) threads[w] = thread;
        EXPECT_EQ(thread, threads[w]);
        at = end + 2;
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
    EXPECT_NE(threads[0], threads[1]);
}

}  // namespace
