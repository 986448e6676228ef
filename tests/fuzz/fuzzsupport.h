// What the fuzz programs share: their verdict lines, a sandbox and a log file of their own,
// and a bound on the time one case may take.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// One line on the standard output, written through at once: the runner reads it even when
// the process dies right after.
void Report(const char* verdict, size_t caseNumber);

// An empty folder of the run's own under the temporary folder.
std::wstring FuzzSandbox(const std::wstring& name);
// Whether `folder` holds exactly one entry, `name`.
bool OnlyChildIs(const std::wstring& folder, const std::wstring& name);

// Opens a fresh log file for every log line of the process; its path.
std::wstring FuzzLogFile(const std::wstring& name);
size_t LogSize(const std::wstring& path);
// What the log file gained since it was `start` bytes long.
std::string LogTail(const std::wstring& path, size_t start);

// Runs `work` on a thread of its own; false when it has not ended after `timeoutMs` (it is
// then left running: the caller ends the process).
bool RunBounded(DWORD timeoutMs, const std::function<void()>& work);
