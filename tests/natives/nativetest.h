// Shared by the native function tests: running Lua in-process or in a probe process of its
// own, and starting copies of the test program.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "testsupport.h"

// Runs a chunk in this process's engine; false when it does not load or run.
bool RunLua(const std::string& code);
// A Lua long-bracket literal of `text` in UTF-8, safe for paths with backslashes.
std::string LuaText(const std::wstring& text);
bool GlobalBoolean(const char* name);
std::wstring GlobalText(const char* name);
double GlobalNumber(const char* name);

// Runs a chunk in scriptprobe with its log lines collected and
// waits for it to end. `extra` is appended to the probe's command line.
std::unique_ptr<LoggedProcess> RunProbe(const std::string& code, const std::wstring& extra = L"");

// A copy of the test program under another executable name, in the temp folder.
std::wstring CopyTestProgram(const std::wstring& exeName);

// A started program; ends it (if still running) when dropped.
class StartedProgram {
public:
    StartedProgram() = default;
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;
    bool Start(const std::wstring& program, const std::wstring& arguments);
    DWORD Id() const { return info_.dwProcessId; }
    bool WaitEnded(DWORD timeoutMs) const;

private:
    PROCESS_INFORMATION info_{};
};

bool FileExists(const std::wstring& path);
// Polls until the file exists; false after the timeout.
bool WaitForFile(const std::wstring& path, DWORD timeoutMs);
std::wstring ReadUtf8File(const std::wstring& path);
