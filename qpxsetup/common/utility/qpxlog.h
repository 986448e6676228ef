// Debug log of the whole program: one OutputDebugStringW line per diagnostic, and the same
// lines in a log file when one was asked for.
#pragma once

#include <string>

// Formats into a 1024-unit buffer that starts with "xm " and sends the whole buffer.
// "%s" takes a wide string, "%S" a narrow one. Text longer than the buffer is cut.
void LogLine(const wchar_t* format, ...);

// Sends `text` as it stands, without the "xm " prefix, for the few lines that carry none.
void LogText(const wchar_t* text);

// The three-line log after a failed system call, with the operation's text joined to each
// line: "<op>xm file:<file>\r\n", "<op>xm line:<n>\r\n", "<op>xm err:<GetLastError()>\r\n".
void LogApiFailureJoined(const wchar_t* operation, const wchar_t* file, int line);

// The free form: "xm file:<file>\r\n", "xm line:<n>\r\n", "xm err:<GetLastError()>\r\n",
// written after a message line of its own.
void LogApiFailure(const wchar_t* file, int line);

// From now on every line also goes to `path` (created, or appended to), as UTF-8, each with the
// milliseconds since the process started and the writing thread's id, written as it comes so
// that a crash loses nothing before it. False, reported once on the debugger output, when the
// file cannot be opened; the debugger output goes on either way.
bool OpenLogFile(const std::wstring& path);

// Milliseconds since the process was created: the time of each line of the log file.
unsigned long long MillisecondsSinceStart();

// One line of the log file, as OpenLogFile writes it: "<ms> <thread> <text>\r\n", the text
// without its own line end.
std::string LogFileLine(unsigned long long milliseconds, unsigned long thread, const std::wstring& text);
