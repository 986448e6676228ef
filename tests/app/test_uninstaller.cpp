// The folders the uninstaller never lets its script remove, and how it finds what lies inside
// the install folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "qpxremovalguard.h"

namespace {

std::wstring Known(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

TEST(RemovalGuard, TheSystemsAndTheUsersFoldersAreRefusedAProductsOwnIsNot) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring profile = Known(CSIDL_PROFILE);
    const std::wstring programs = Known(CSIDL_PROGRAM_FILES);
    std::wstring shouted = programs;
    CharUpperW(shouted.data());
    const std::wstring refused[] = {
        L"", L"C:", L"C:\\", L"D:\\\\", L"Corvane", L"\\\\server\\share\\Corvane", L"C:Corvane",
        windows, std::wstring(windows) + L"\\System32", std::wstring(windows) + L"\\Temp\\Corvane",
        programs, programs + L"\\", shouted, programs + L"\\Corvane\\..", Known(CSIDL_PROGRAM_FILESX86),
        Known(CSIDL_PROGRAM_FILES_COMMON), profile, Parent(profile), Parent(profile) + L"\\someone",
        Known(CSIDL_APPDATA), Known(CSIDL_LOCAL_APPDATA), Known(CSIDL_COMMON_APPDATA), Known(CSIDL_PERSONAL),
        Known(CSIDL_DESKTOPDIRECTORY), Known(CSIDL_COMMON_PROGRAMS)};
    for (const std::wstring& folder : refused) EXPECT_NE(RemovalRefusal(folder), nullptr) << folder;

    const std::wstring accepted[] = {programs + L"\\Corvane", programs + L"\\Corvane\\", L"D:\\Apps\\Corvane",
                                     Known(CSIDL_LOCAL_APPDATA) + L"\\Corvane", std::wstring(windows) + L"Apps",
                                     Known(CSIDL_PROGRAM_FILESX86) + L"\\Corvane Software\\Corvane"};
    for (const std::wstring& folder : accepted) EXPECT_EQ(RemovalRefusal(folder), nullptr) << folder;
    EXPECT_STREQ(RemovalRefusal(L"C:\\"), L"a drive root");
    EXPECT_STREQ(RemovalRefusal(profile), L"a user profile");
}

TEST(RemovalGuard, InsideMeansBelowNotBesideNorTheFolderItself) {
    EXPECT_TRUE(IsInsideFolder(L"C:\\Apps\\Corvane\\Uninstall.exe", L"c:\\apps\\corvane"));
    EXPECT_TRUE(IsInsideFolder(L"C:\\Apps\\Corvane\\sub\\x.dll", L"C:\\Apps\\Corvane\\"));
    EXPECT_FALSE(IsInsideFolder(L"C:\\Apps\\Corvane2\\Uninstall.exe", L"C:\\Apps\\Corvane"));
    EXPECT_FALSE(IsInsideFolder(L"C:\\Apps\\Corvane", L"C:\\Apps\\Corvane"));
    EXPECT_FALSE(IsInsideFolder(L"C:\\Temp\\Uninstall.exe", L""));
}

}  // namespace
