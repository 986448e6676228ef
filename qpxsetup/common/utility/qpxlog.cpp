// Debug log of the whole program: one OutputDebugStringW line per diagnostic, and the same
// lines in a log file when one was asked for.
#include "qpxlog.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "qpxtext.h"

namespace {

constexpr size_t kLogUnits = 1024;
constexpr wchar_t kPrefix[] = L"xm ";

// The log file of the run. Opened once, before any other thread exists, and never closed:
// the system closes it when the process ends, however it ends.
HANDLE logFile = INVALID_HANDLE_VALUE;
// Keeps each line's debugger output and file write together, so both have one order.
CRITICAL_SECTION logLock;

void Send(const wchar_t* text) {
    if (logFile == INVALID_HANDLE_VALUE) {
        OutputDebugStringW(text);
        return;
    }
    EnterCriticalSection(&logLock);
    OutputDebugStringW(text);
    const std::string line = LogFileLine(MillisecondsSinceStart(), GetCurrentThreadId(), text);
    DWORD written = 0;
    WriteFile(logFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    LeaveCriticalSection(&logLock);
}

void LogLineV(const wchar_t* format, va_list args) {
    wchar_t buffer[kLogUnits] = L"xm ";
    constexpr size_t prefixLength = sizeof(kPrefix) / sizeof(wchar_t) - 1;
    // The format is ours; data only ever comes in as arguments. The truncating form keeps
    // what fits and always terminates.
    _vsnwprintf(buffer + prefixLength, kLogUnits - prefixLength - 1, format, args);
    buffer[kLogUnits - 1] = L'\0';
    Send(buffer);
}

}  // namespace

unsigned long long MillisecondsSinceStart() {
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return (ticks(now) - ticks(created)) / 10000;
}

void LogLine(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    LogLineV(format, args);
    va_end(args);
}

void LogText(const wchar_t* text) { Send(text); }

void LogApiFailureJoined(const wchar_t* operation, const wchar_t* file, int line) {
    const DWORD error = GetLastError();
    LogLine(L"%sxm file:%s\r\n", operation, file);
    LogLine(L"%sxm line:%d\r\n", operation, line);
    LogLine(L"%sxm err:%d\r\n", operation, static_cast<int>(error));
}

void LogApiFailure(const wchar_t* file, int line) {
    const DWORD error = GetLastError();
    LogLine(L"xm file:%s\r\n", file);
    LogLine(L"xm line:%d\r\n", line);
    LogLine(L"xm err:%d\r\n", static_cast<int>(error));
}

bool OpenLogFile(const std::wstring& path) {
    if (logFile != INVALID_HANDLE_VALUE) return true;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        LogLine(L"log file %s cannot be opened: error %d\r\n", path.c_str(),
                static_cast<int>(GetLastError()));
        return false;
    }
    InitializeCriticalSection(&logLock);
    logFile = file;
    return true;
}

std::string LogFileLine(unsigned long long milliseconds, unsigned long thread, const std::wstring& text) {
    std::wstring body = text;
    while (!body.empty() && (body.back() == L'\n' || body.back() == L'\r')) body.pop_back();
    char head[64];
    // The system runtime's formatting (the toolchain's C99 one adds 30 KiB); the line fits.
    _snprintf(head, sizeof head, "%8s %5lu ", std::to_string(milliseconds).c_str(), thread);
    return head + WideToUtf8(body) + "\r\n";
}
