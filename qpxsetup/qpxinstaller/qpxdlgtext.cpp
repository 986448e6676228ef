// Text rules the wizard dialogs share.
#include "qpxdlgtext.h"

#include <windows.h>

#include <cwchar>

#include "qpxtext.h"

bool FirstDollarToken(const std::wstring& text, std::wstring& name) {
    const size_t first = text.find(L'$');
    if (first == std::wstring::npos) return false;
    const size_t second = text.find(L'$', first + 1);
    if (second == std::wstring::npos) return false;
    name = text.substr(first + 1, second - first - 1);
    return true;
}

std::string GlobalName(const std::wstring& layoutName) {
    return WideToCodePage(CP_THREAD_ACP, layoutName.c_str());
}

std::wstring FillGlobalTokens(const std::wstring& text,
                              const std::function<std::wstring(const std::string&)>& valueOf) {
    constexpr wchar_t kPrefix[] = L"global_";
    std::wstring filled = text;
    for (size_t open = filled.find(L'$'); open != std::wstring::npos;) {
        const size_t close = filled.find(L'$', open + 1);
        if (close == std::wstring::npos) break;
        const std::wstring name = filled.substr(open + 1, close - open - 1);
        const std::wstring value = name.compare(0, std::wcslen(kPrefix), kPrefix) == 0
                                       ? valueOf(GlobalName(name)) : std::wstring();
        if (value.empty()) {
            open = close;  // the closing sign may open the next token
            continue;
        }
        filled.replace(open, close - open + 1, value);
        open = filled.find(L'$', open + value.size());
    }
    return filled;
}
