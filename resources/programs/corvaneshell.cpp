// Corvane's shell support DLL in the sample product: rights on the install folder for every
// user, the desktop and quick-launch shortcuts, and removal of a quick-launch shortcut.
#include <windows.h>
#include <accctrl.h>
#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>

#include "qpxcom.h"
#include "qpxhandle.h"

using Microsoft::WRL::ComPtr;

namespace {

// Below the roaming application data folder.
constexpr wchar_t kQuickLaunch[] = L"\\Microsoft\\Internet Explorer\\Quick Launch";

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return L"";
    return path;
}

std::wstring FolderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : path.substr(0, slash);
}

// "<folder>\<displayName>.lnk" starting `program` in its own folder, with its first icon. The
// name must be a plain file name: a separator in it would put the link somewhere else.
void CreateShortcut(const std::wstring& folder, const wchar_t* program, const wchar_t* displayName) {
    if (folder.empty() || !program || !displayName || !*displayName ||
        wcspbrk(displayName, L"\\/:*?\"<>|"))
        return;
    const ComScope com;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, &link)) ||
        FAILED(link.As(&file)))
        return;
    link->SetPath(program);
    link->SetWorkingDirectory(FolderOf(program).c_str());
    link->SetIconLocation(program, 0);
    link->SetDescription(displayName);
    file->Save((folder + L"\\" + displayName + L".lnk").c_str(), TRUE);
}

std::wstring Expanded(const wchar_t* text) {
    DWORD size = ExpandEnvironmentStringsW(text, nullptr, 0);
    if (size == 0) return L"";
    std::wstring expanded(size, L'\0');
    size = ExpandEnvironmentStringsW(text, &expanded[0], size);
    if (size == 0 || size > expanded.size()) return L"";
    expanded.resize(size - 1);  // without the terminator
    return expanded;
}

}  // namespace

#define SHELL_EXPORT extern "C" __declspec(dllexport)

// Lets every user change the product's files (settings and updates written without elevation):
// the built-in Users group gets modify rights on `folder`, inherited by everything below it.
SHELL_EXPORT BOOL WINAPI AllowAccountPrivilege(const wchar_t* folder) {
    if (!folder) return FALSE;
    PACL oldAcl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &oldAcl, nullptr, &descriptor) != ERROR_SUCCESS)
        return FALSE;
    const UniqueLocalMemory ownedDescriptor(descriptor);  // oldAcl points into it

    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD usersSize = sizeof(users);
    if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &usersSize)) return FALSE;
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = reinterpret_cast<wchar_t*>(users);

    PACL newAcl = nullptr;
    if (SetEntriesInAclW(1, &access, oldAcl, &newAcl) != ERROR_SUCCESS) return FALSE;
    const UniqueLocalMemory ownedAcl(newAcl);
    return SetNamedSecurityInfoW(const_cast<wchar_t*>(folder), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, newAcl, nullptr) == ERROR_SUCCESS;
}

// The window class belongs to these exports' contract (a product may use it to find its
// running window and refresh the pinned icon); this sample's shortcuts need only the program,
// so the class goes unused here.
SHELL_EXPORT void WINAPI CreateDesktopShortcut(const wchar_t* program, const wchar_t* /*windowClass*/,
                                              const wchar_t* displayName) {
    CreateShortcut(ShellFolder(CSIDL_DESKTOPDIRECTORY), program, displayName);
}

SHELL_EXPORT void WINAPI CreateTaskbarShortcut(const wchar_t* program, const wchar_t* /*windowClass*/,
                                              const wchar_t* displayName) {
    const std::wstring appData = ShellFolder(CSIDL_APPDATA);
    if (appData.empty()) return;
    const std::wstring folder = appData + kQuickLaunch;
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    CreateShortcut(folder, program, displayName);
}

// `link` may name environment variables ("%APPDATA%\..."); a missing file is nothing to do.
// Only shortcuts are removed: whatever else the path names is not a pin.
SHELL_EXPORT void WINAPI UnpinFromTaskbar(const wchar_t* link) {
    if (!link) return;
    const std::wstring path = Expanded(link);
    if (path.size() < 4 || _wcsicmp(path.c_str() + path.size() - 4, L".lnk") != 0) return;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        DeleteFileW(path.c_str());
}
