// What tests need to act on a real installer as a person would, from inside Wine: start it
// and collect its debug output, find its windows, read and press message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A program started under a debugger loop of our own, so its OutputDebugString lines are
// collected (as lines, without the trailing line end) and its exit code is known.
class DebuggedProcess {
public:
    DebuggedProcess() = default;
    ~DebuggedProcess();
    DebuggedProcess(const DebuggedProcess&) = delete;
    DebuggedProcess& operator=(const DebuggedProcess&) = delete;

    bool Start(const std::wstring& commandLine, const std::wstring& folder = L"");
    // The exit code, or -1 when the process is still running after `timeoutMs`.
    int Wait(DWORD timeoutMs = 60000);
    DWORD ProcessId() const { return processId_; }
    std::vector<std::wstring> Log() const;
    // All of the log in one text, lines separated by '\n'.
    std::wstring LogText() const;
    bool LogContains(const std::wstring& line) const;
    void Terminate();

private:
    static DWORD WINAPI Loop(void* self);
    void RunLoop();

    std::wstring commandLine_, folder_;
    HANDLE thread_ = nullptr, started_ = nullptr;
    DWORD processId_ = 0;
    HANDLE process_ = nullptr;
    bool startedOk_ = false;
    int exitCode_ = -1;
    mutable CRITICAL_SECTION lock_;
    bool lockReady_ = false;
    std::vector<std::wstring> log_;
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
