// Debug log of the whole program: one OutputDebugStringW line per diagnostic.
#include "qpxlog.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>

namespace {

constexpr size_t kLogUnits = 1024;
constexpr wchar_t kPrefix[] = L"xm ";

void LogLineV(const wchar_t* format, va_list args) {
    wchar_t buffer[kLogUnits] = L"xm ";
    constexpr size_t prefixLength = sizeof(kPrefix) / sizeof(wchar_t) - 1;
    // The format is ours; data only ever comes in as arguments. The truncating form keeps
    // what fits and always terminates.
    _vsnwprintf(buffer + prefixLength, kLogUnits - prefixLength - 1, format, args);
    buffer[kLogUnits - 1] = L'\0';
    OutputDebugStringW(buffer);
}

}  // namespace

void LogLine(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    LogLineV(format, args);
    va_end(args);
}

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
