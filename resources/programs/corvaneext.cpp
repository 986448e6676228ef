// Corvane's shell extension in the sample product, built for 32-bit and for 64-bit Windows:
// it registers and unregisters its class; it serves no objects.
#include <windows.h>
#include <olectl.h>

#include <string>

#include "corvanemodule.h"
#include "qpxhandle.h"

namespace {

// {6F1C2A4E-3B7D-4E59-9A0C-2D8E5B1F7C43}: this extension's class.
constexpr wchar_t kClassKey[] = L"CLSID\\{6F1C2A4E-3B7D-4E59-9A0C-2D8E5B1F7C43}";
constexpr wchar_t kClassName[] = L"Corvane shell extension";

LSTATUS SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LSTATUS CreateKey(HKEY parent, const wchar_t* name, UniqueRegKey& key) {
    return RegCreateKeyExW(parent, name, 0, nullptr, 0, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr,
                           key.put(), nullptr);
}

LSTATUS Register() {
    const std::wstring path = ModulePath(ThisModule());
    if (path.empty()) return GetLastError();
    UniqueRegKey classKey, server;
    LSTATUS result = CreateKey(HKEY_CLASSES_ROOT, kClassKey, classKey);
    if (result == ERROR_SUCCESS) result = SetText(classKey.get(), nullptr, kClassName);
    if (result == ERROR_SUCCESS) result = CreateKey(classKey.get(), L"InprocServer32", server);
    if (result == ERROR_SUCCESS) result = SetText(server.get(), nullptr, path);
    if (result == ERROR_SUCCESS) result = SetText(server.get(), L"ThreadingModel", L"Apartment");
    return result;
}

}  // namespace

#define EXT_EXPORT extern "C" __declspec(dllexport)

EXT_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() { return HRESULT_FROM_WIN32(Register()); }

EXT_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    const LSTATUS result = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    return result == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(result);
}

// regsvr32 /i passes its command line here; this extension has nothing to set up beyond
// its registration.
EXT_EXPORT HRESULT STDAPICALLTYPE DllInstall(BOOL, LPCWSTR) { return S_OK; }

EXT_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID, void** object) {
    if (object) *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

EXT_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_OK; }
