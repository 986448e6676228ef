// Finding, inspecting and ending processes: tool-help snapshots, image paths, privileges.
#include "qpxprocesstoolhelp.h"

#include <psapi.h>

#include <vector>

#include "qpxlog.h"

namespace {

constexpr DWORD kCloseWaitMs = 3000;  // for the windows to close, then for the termination

BOOL CALLBACK AskWindowToClose(HWND window, LPARAM pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(pid)) {
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

}  // namespace

bool ProcessToolHelp::TakeSnapshot() {
    snapshot_.reset(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    return static_cast<bool>(snapshot_);
}

// Entries with id 0 (the idle process) are skipped. Every other entry is a candidate: under
// Wine the list has no System entry and its first entry is a real program.
bool ProcessToolHelp::FirstProcess(PROCESSENTRY32W& entry) const {
    if (!snapshot_) return false;
    entry = PROCESSENTRY32W{};
    entry.dwSize = sizeof(entry);
    if (!Process32FirstW(snapshot_.get(), &entry)) return false;
    return entry.th32ProcessID != 0 || NextProcess(entry);
}

bool ProcessToolHelp::NextProcess(PROCESSENTRY32W& entry) const {
    while (Process32NextW(snapshot_.get(), &entry)) {
        if (entry.th32ProcessID != 0) return true;
    }
    return false;
}

DWORD ProcessToolHelp::FindProcessIdByName(const std::wstring& name) const {
    DWORD found = kNoProcessId;
    ForEachProcess([&](const PROCESSENTRY32W& entry) {
        if (lstrcmpiW(name.c_str(), entry.szExeFile) != 0) return true;
        found = entry.th32ProcessID;
        return false;
    });
    return found;
}

bool ProcessToolHelp::GetImagePathByPid(DWORD pid, std::wstring& path) {
    wchar_t buffer[MAX_PATH] = L"";
    {
        const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
        if (!process) return false;
        if (GetProcessImageFileNameW(process.get(), buffer, MAX_PATH) == 0) return false;
    }
    path = buffer;
    return DevicePathToDosPath(path);
}

// "\Device\HarddiskVolume1\dir\a.exe" -> "C:\dir\a.exe": the device is the text before the
// third backslash.
bool ProcessToolHelp::DevicePathToDosPath(std::wstring& path) {
    if (deviceToDrive_.empty() && !BuildDeviceMap()) return false;
    size_t end = 0;
    for (int backslashes = 0; backslashes < 3; ++backslashes) {
        end = path.find(L'\\', backslashes == 0 ? 0 : end + 1);
        if (end == std::wstring::npos) return false;
    }
    const auto drive = deviceToDrive_.find(path.substr(0, end));
    if (drive == deviceToDrive_.end()) return false;
    path.replace(0, end, drive->second);
    return true;
}

bool ProcessToolHelp::BuildDeviceMap() {
    const DWORD length = GetLogicalDriveStringsW(0, nullptr);
    if (length == 0) {
        LogApiFailureJoined(L"GetLogicalDriveStrings failed", kProcessToolHelpLogFile, __LINE__);
        return false;
    }
    std::vector<wchar_t> roots(length + 1, L'\0');
    if (GetLogicalDriveStringsW(length, roots.data()) == 0) {
        LogApiFailureJoined(L"GetLogicalDriveStrings failed", kProcessToolHelpLogFile, __LINE__);
        return false;
    }
    for (const wchar_t* root = roots.data(); *root; root += wcslen(root) + 1) {
        const std::wstring drive(root, 2);  // "C:\" -> "C:"
        wchar_t device[MAX_PATH];
        if (QueryDosDeviceW(drive.c_str(), device, MAX_PATH)) deviceToDrive_[device] = drive;
    }
    return true;
}

bool EnablePrivilege(const wchar_t* name, bool enable) {
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) {
        LogApiFailureJoined(L"OpenProcessToken failed!", kProcessToolHelpLogFile, __LINE__);
        return false;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
        LogApiFailureJoined(L"LookupPrivilegeValue failed!", kProcessToolHelpLogFile, __LINE__);
        return false;
    }
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof(privileges), nullptr, nullptr)) {
        LogApiFailureJoined(L"AdjustTokenPrivileges failed!", kProcessToolHelpLogFile, __LINE__);
        return false;
    }
    return true;
}

bool CloseProcessById(DWORD pid) {
    if (pid == 0) return true;
    // Posted, not sent: a hung window must not hang the installer.
    EnumWindows(AskWindowToClose, static_cast<LPARAM>(pid));
    EnablePrivilege(SE_DEBUG_NAME, true);
    const UniqueKernelHandle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process any more
    if (WaitForSingleObject(process.get(), kCloseWaitMs) != WAIT_OBJECT_0)
        TerminateProcess(process.get(), 0);
    return WaitForSingleObject(process.get(), kCloseWaitMs) == WAIT_OBJECT_0;
}
