// Text rules the wizard dialogs share.
#include "qpxdlgtext.h"

#include <windows.h>

#include "qpxtext.h"

bool FirstDollarToken(const std::wstring& text, std::wstring& name) {
    const size_t first = text.find(L'$');
    if (first == std::wstring::npos) return false;
    const size_t second = text.find(L'$', first + 1);
    if (second == std::wstring::npos) return false;
    name = text.substr(first + 1, second - first - 1);
    return true;
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string GlobalName(const std::wstring& layoutName) {
    return WideToCodePage(CP_THREAD_ACP, layoutName.c_str());
}
