// Debug log of the whole program: one OutputDebugStringW line per diagnostic.
#pragma once

// Formats into a 1024-unit buffer that starts with "xm " and sends the whole buffer.
// "%s" takes a wide string, "%S" a narrow one. Text longer than the buffer is cut.
void LogLine(const wchar_t* format, ...);

// The three-line log after a failed system call, with the operation's text joined to each
// line: "<op>xm file:<file>\r\n", "<op>xm line:<n>\r\n", "<op>xm err:<GetLastError()>\r\n".
void LogApiFailureJoined(const wchar_t* operation, const wchar_t* file, int line);

// The free form: "xm file:<file>\r\n", "xm line:<n>\r\n", "xm err:<GetLastError()>\r\n",
// written after a message line of its own.
void LogApiFailure(const wchar_t* file, int line);
