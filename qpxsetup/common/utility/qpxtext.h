// Text helpers: conversions across the script boundary (scripts speak UTF-8, the program
// UTF-16) and replacement within a text.
#pragma once

#include <string>

std::wstring Utf8ToWide(const char* text);  // null gives the empty string
std::wstring Utf8ToWide(const char* text, size_t length);
std::string WideToUtf8(const wchar_t* text);  // null gives the empty string
std::string WideToUtf8(const std::wstring& text);

// Conversions through a code page, for chunk names, error box text and narrow buffers.
std::wstring CodePageToWide(unsigned codePage, const char* text);
std::string WideToCodePage(unsigned codePage, const wchar_t* text);

// The value of a hexadecimal digit, either case; -1 for any other unit.
int HexDigit(wchar_t unit);

// Every occurrence of `from` in `text` replaced by `to`; what `to` brings is not searched again.
std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to);
