// Text rules the wizard dialogs share: dollar tokens naming script globals, and the
// narrow form of global names taken from the layout.
#pragma once

#include <string>

// The name between the first "$" and the next one; false when the text holds no such pair.
bool FirstDollarToken(const std::wstring& text, std::wstring& name);
// Every occurrence of `from` in `text` replaced by `to`.
std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to);
// Control and token names become global names through the thread's ANSI code page.
std::string GlobalName(const std::wstring& layoutName);
