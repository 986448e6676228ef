// What tests need to act on a real installer as a person would, from inside Wine: start it
// and collect its debug output, find its windows, read and press message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The test program's own width: the x86_64 suite's programs are 64-bit, with no WOW64 between
// them and the system, so the 32-bit registry view and folder redirection do not apply.
constexpr bool kX64 = sizeof(void*) == 8;
// The registry view the program's own calls see, and the other one.
constexpr REGSAM kOwnView = kX64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = kX64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// A program started with its OutputDebugString lines collected (as lines, without the trailing
// line end) through the system's debug output buffer, and its exit code known. No debugger is
// attached: under one, 64-bit Wine unwinds C++ exceptions wrongly and the program crashes.
class LoggedProcess {
public:
    LoggedProcess() = default;
    ~LoggedProcess();
    LoggedProcess(const LoggedProcess&) = delete;
    LoggedProcess& operator=(const LoggedProcess&) = delete;

    bool Start(const std::wstring& commandLine, const std::wstring& folder = L"");
    // The exit code, or -1 when the process is still running after `timeoutMs`. Once it has
    // ended, every line it wrote is in the log.
    int Wait(DWORD timeoutMs = 60000);
    DWORD ProcessId() const { return processId_; }
    std::vector<std::wstring> Log() const;
    // All of the log in one text, lines separated by '\n'.
    std::wstring LogText() const;
    bool LogContains(const std::wstring& line) const;
    void Terminate();

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// Top-level window with this class and/or title (empty: any), belonging to `processId`
// (0: any). Polls until found or timeout.
HWND WaitForWindow(const std::wstring& className, const std::wstring& title, DWORD processId,
                   DWORD timeoutMs);
// The text of a message box (its static control 0xFFFF).
std::wstring MessageBoxText(HWND box);
// Presses a button of a dialog (IDOK, IDCANCEL, IDABORT...) as a click would.
bool PressButton(HWND dialog, int buttonId);
bool WaitForWindowGone(HWND window, DWORD timeoutMs);
std::wstring WindowClass(HWND window);
std::wstring WindowTitle(HWND window);
// The folder of the running test program, with a trailing backslash.
std::wstring ProgramFolder();
// <temp folder>\<name>; the file is removed first.
std::wstring FreshTempPath(const std::wstring& name);
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Selects `folder` in another process's folder browser (the path is written into that
// process for BFFM_SETSELECTIONW) and presses OK.
bool SelectInFolderBrowser(HWND browser, const std::wstring& folder);

// Under Wine, the Unix name of a path; empty elsewhere.
std::string HostPath(const std::wstring& path);
// A link to a folder. Windows makes it with CreateSymbolicLinkW; Wine 8's creates nothing
// and reports success, but a link made on the host shows to programs as a folder with the
// reparse-point attribute.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target);
// Removes a file or tree through the shell, with no dialog: the tests run unattended.
void RemoveWithTheShell(const std::wstring& path);
// Removes a tree without following links, also where the platform cannot remove a link.
void RemoveTreeSafely(const std::wstring& path);
// <temp folder>\<name>, made anew and empty (what an earlier run left is removed); scripts also
// reach it as %<variable>% when one is named. Empty when it cannot be made.
std::wstring FreshFolder(const std::wstring& name, const wchar_t* variable = nullptr);
