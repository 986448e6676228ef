// Text helpers: conversions across the script boundary (scripts speak UTF-8, the program
// UTF-16) and replacement within a text.
#include "qpxtext.h"

#include <windows.h>

#include <cstring>

namespace {

std::wstring ToWide(UINT codePage, const char* text, size_t length) {
    if (!text || length == 0) return {};
    const int units = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), wide.data(), units);
    return wide;
}

std::string ToNarrow(UINT codePage, const wchar_t* text, size_t length) {
    if (!text || length == 0) return {};
    const int bytes = WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), nullptr, 0,
                                          nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), narrow.data(), bytes, nullptr,
                        nullptr);
    return narrow;
}

}  // namespace

std::wstring Utf8ToWide(const char* text) {
    return text ? ToWide(CP_UTF8, text, std::strlen(text)) : std::wstring();
}

std::wstring Utf8ToWide(const char* text, size_t length) { return ToWide(CP_UTF8, text, length); }

std::string WideToUtf8(const wchar_t* text) {
    return text ? ToNarrow(CP_UTF8, text, wcslen(text)) : std::string();
}

std::string WideToUtf8(const std::wstring& text) {
    return ToNarrow(CP_UTF8, text.c_str(), text.size());
}

std::wstring CodePageToWide(unsigned codePage, const char* text) {
    return text ? ToWide(codePage, text, std::strlen(text)) : std::wstring();
}

std::string WideToCodePage(unsigned codePage, const wchar_t* text) {
    return text ? ToNarrow(codePage, text, wcslen(text)) : std::string();
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

int HexDigit(wchar_t unit) {
    if (unit >= L'0' && unit <= L'9') return unit - L'0';
    if (unit >= L'a' && unit <= L'f') return unit - L'a' + 10;
    if (unit >= L'A' && unit <= L'F') return unit - L'A' + 10;
    return -1;
}
