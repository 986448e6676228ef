// What the fuzz programs share.
#include "fuzzsupport.h"

#include <cstdio>
#include <memory>

#include "archivetest.h"
#include "qpxhandle.h"
#include "qpxlog.h"
#include "testsupport.h"

void Report(const char* verdict, size_t caseNumber) {
    char line[64];
    const int length = snprintf(line, sizeof(line), "%s %u\n", verdict, static_cast<unsigned>(caseNumber));
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
}

std::wstring FuzzSandbox(const std::wstring& name) { return FreshFolder(name); }

bool OnlyChildIs(const std::wstring& folder, const std::wstring& name) {
    WIN32_FIND_DATAW found;
    const UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return false;
    size_t others = 0;
    bool seen = false;
    do {
        const std::wstring entry = found.cFileName;
        if (entry == L"." || entry == L"..") continue;
        if (entry == name) {
            seen = true;
        } else {
            ++others;
        }
    } while (FindNextFileW(find.get(), &found));
    return seen && others == 0;
}

std::wstring FuzzLogFile(const std::wstring& name) {
    const std::wstring path = FreshTempPath(name);
    OpenLogFile(path);
    return path;
}

size_t LogSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return data.nFileSizeLow;
}

std::string LogTail(const std::wstring& path, size_t start) {
    const std::string text = ReadFileBytes(path);
    return start < text.size() ? text.substr(start) : std::string();
}

namespace {

DWORD WINAPI RunTask(void* task) {
    (*static_cast<std::function<void()>*>(task))();
    return 0;
}

}  // namespace

bool RunBounded(DWORD timeoutMs, const std::function<void()>& work) {
    // The work outlives this call when it hangs: it keeps its own copy.
    auto task = std::make_unique<std::function<void()>>(work);
    const UniqueKernelHandle thread(CreateThread(nullptr, 1 << 20, RunTask, task.get(), 0, nullptr));
    if (!thread) return false;
    if (WaitForSingleObject(thread.get(), timeoutMs) == WAIT_OBJECT_0) return true;
    task.release();  // still in use by the thread
    return false;
}
