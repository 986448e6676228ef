// A COM server stand-in for the registration tests: registering writes
// HKCU\Software\QPXTestReg "Registered" = 1, unregistering removes the key. Built a second
// time without these entry points.
#include <windows.h>

#ifndef QPX_NO_REGISTER
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QPXTestReg", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return E_FAIL;
    const DWORD one = 1;
    RegSetValueExW(key, L"Registered", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    RegCloseKey(key);
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QPXTestReg") == ERROR_SUCCESS ? S_OK : S_FALSE;
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD, void*) { return TRUE; }
