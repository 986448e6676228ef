// Resources of the program's own module: found, loaded, locked and sized in one step.
#include "qpxresource.h"

#include "qpxlog.h"

ProgramResource::ProgramResource(const wchar_t* type, const wchar_t* name) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, name, type);
    if (!info) return;
    block_.reset(LoadResource(module, info));
    if (!block_) return;
    data_ = LockResource(block_.get());
    if (data_) size_ = SizeofResource(module, info);
}

ProgramResource::ProgramResource(const wchar_t* type, UINT id)
    : ProgramResource(type, MAKEINTRESOURCEW(LOWORD(id))) {}

bool ProgramResource::HasBytes(const wchar_t* logFile, int line) const {
    if (!data_) {
        LogApiFailureJoined(L"LockResource failed.", logFile, line);
        return false;
    }
    if (size_ == 0) {
        LogLine(L"ResSize == 0\r\n");
        return false;
    }
    return true;
}

namespace {

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    if (!IS_INTRESOURCE(name)) reinterpret_cast<std::vector<std::wstring>*>(names)->push_back(name);
    return TRUE;
}

}  // namespace

std::vector<std::wstring> ProgramResourceNames(const wchar_t* type) {
    std::vector<std::wstring> names;
    EnumResourceNamesW(GetModuleHandleW(nullptr), type, CollectName, reinterpret_cast<LONG_PTR>(&names));
    return names;
}
