// Text conversions across the script boundary: scripts speak UTF-8, the program UTF-16.
#pragma once

#include <string>

std::wstring Utf8ToWide(const char* text);  // null gives the empty string
std::wstring Utf8ToWide(const char* text, size_t length);
std::string WideToUtf8(const wchar_t* text);  // null gives the empty string
std::string WideToUtf8(const std::wstring& text);

// Conversions through a code page, for chunk names, error box text and narrow buffers.
std::wstring CodePageToWide(unsigned codePage, const char* text);
std::string WideToCodePage(unsigned codePage, const wchar_t* text);
