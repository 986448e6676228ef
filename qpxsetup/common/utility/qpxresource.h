// Resources of the program's own module: found, loaded, locked and sized in one step, by
// name or by number, and the names of a type listed. Each caller logs its own failure.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "qpxhandle.h"

class ProgramResource {
public:
    // A name, or a number made with MAKEINTRESOURCEW.
    ProgramResource(const wchar_t* type, const wchar_t* name);
    // A number: only its low 16 bits name the resource.
    ProgramResource(const wchar_t* type, UINT id);

    // Found and loaded; when not, GetLastError still tells why.
    bool Loaded() const { return static_cast<bool>(block_); }
    // For a loaded resource that must not be empty: true when it has bytes, else false after
    // the log line of why, "LockResource failed." (three lines under `logFile` and `line`)
    // or "ResSize == 0".
    bool HasBytes(const wchar_t* logFile, int line) const;
    // The bytes; null when the resource could not be had or locked.
    const void* Data() const { return data_; }
    DWORD Size() const { return size_; }

private:
    UniqueResource block_;
    const void* data_ = nullptr;
    DWORD size_ = 0;
};

// The names of the program's own resources of `type` that are named, not numbered, as the
// module stores them: in upper case.
std::vector<std::wstring> ProgramResourceNames(const wchar_t* type);
