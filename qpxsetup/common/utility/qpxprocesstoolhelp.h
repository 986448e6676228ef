// Finding, inspecting and ending processes: tool-help snapshots, image paths, privileges.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <map>
#include <string>

#include "qpxhandle.h"

// Source file name that the failure logs of these routines carry.
constexpr wchar_t kProcessToolHelpLogFile[] = L"qpxprocesstoolhelp";

// The id that stands for "no such process".
constexpr DWORD kNoProcessId = static_cast<DWORD>(-1);

// One request's view of the running processes; made on the stack, used once, dropped.
class ProcessToolHelp {
public:
    // Replaces any earlier snapshot; true when a snapshot of all processes was taken.
    bool TakeSnapshot();
    // The first process of the snapshot whose executable name equals `name` (any letter
    // case), or kNoProcessId.
    DWORD FindProcessIdByName(const std::wstring& name) const;
    // Calls `visit(entry)` for the processes of the snapshot with a non-zero id, in order,
    // while it returns true.
    template <typename Visit>
    void ForEachProcess(Visit visit) const;
    // The executable's path with its drive letter; false when the process cannot be queried
    // or lives on a device without a drive letter.
    bool GetImagePathByPid(DWORD pid, std::wstring& path);

private:
    bool FirstProcess(PROCESSENTRY32W& entry) const;
    bool NextProcess(PROCESSENTRY32W& entry) const;
    bool DevicePathToDosPath(std::wstring& path);
    bool BuildDeviceMap();

    UniqueKernelHandle snapshot_;
    std::map<std::wstring, std::wstring> deviceToDrive_;  // "\Device\HarddiskVolume1" -> "C:"
};

// Enables or disables a privilege of the process token; the change is process-wide and
// stays. A privilege the account does not hold still counts as success.
bool EnablePrivilege(const wchar_t* name, bool enable);

// Asks the process's windows to close, gives it 3 s, then terminates it and waits 3 s more.
// True when the process is gone at the end (also when it did not exist).
bool CloseProcessById(DWORD pid);

template <typename Visit>
void ProcessToolHelp::ForEachProcess(Visit visit) const {
    PROCESSENTRY32W entry;
    for (bool more = FirstProcess(entry); more && visit(entry); more = NextProcess(entry)) {
    }
}
