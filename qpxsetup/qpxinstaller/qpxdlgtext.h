// Text rules the wizard dialogs share: dollar tokens naming script globals, and the
// narrow form of global names taken from the layout.
#pragma once

#include <functional>
#include <string>

#include "qpxtext.h"

// The name between the first "$" and the next one; false when the text holds no such pair.
bool FirstDollarToken(const std::wstring& text, std::wstring& name);
// Control and token names become global names through the thread's ANSI code page.
std::string GlobalName(const std::wstring& layoutName);
// `text` with every "$global_...$" token replaced by what `valueOf` gives for its global name,
// where that is not empty; other tokens and other dollar signs stay as they are.
std::wstring FillGlobalTokens(const std::wstring& text,
                              const std::function<std::wstring(const std::string&)>& valueOf);
