// COM or OLE for the duration of one call, on whichever thread makes it.
#pragma once

#include <windows.h>
#include <ole2.h>

// Uninitializes only when this scope's initialization succeeded: a thread that already runs
// COM in the other threading model is used as it is.
template <HRESULT(WINAPI* Initialize)(LPVOID), void(WINAPI* Uninitialize)()>
class InitScope {
public:
    InitScope() : initialized_(SUCCEEDED(Initialize(nullptr))) {}
    ~InitScope() {
        if (initialized_) Uninitialize();
    }
    InitScope(const InitScope&) = delete;
    InitScope& operator=(const InitScope&) = delete;

private:
    bool initialized_;
};

// COM, apartment-threaded.
using ComScope = InitScope<CoInitialize, CoUninitialize>;
// OLE as well, for COM servers whose registration needs it.
using OleScope = InitScope<OleInitialize, OleUninitialize>;
