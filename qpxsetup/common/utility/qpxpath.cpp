// Paths as scripts and globals give them: environment variables expanded.
#include "qpxpath.h"

#include <windows.h>

std::wstring ExpandPath(const std::wstring& path) {
    std::wstring expanded(MAX_PATH, L'\0');
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsW(path.c_str(), expanded.data(),
                                                       static_cast<DWORD>(expanded.size()));
        if (needed == 0) return path;
        if (needed <= expanded.size()) {
            expanded.resize(needed - 1);
            return expanded;
        }
        expanded.resize(needed);
    }
}
