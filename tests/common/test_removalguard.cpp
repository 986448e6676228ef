// The folders an installation never owns, compared by what they are: every way of writing
// one of them, and links leading to them, is refused; tree removal never follows a link.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "qpxremovalguard.h"
#include "testsupport.h"

namespace {

std::wstring Known(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring WindowsFolder() {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return windows;
}

std::wstring Upper(std::wstring text) {
    CharUpperW(text.data());
    return text;
}

std::wstring Lower(std::wstring text) {
    CharLowerW(text.data());
    return text;
}

std::wstring Replace(std::wstring text, wchar_t from, wchar_t to) {
    for (wchar_t& unit : text) {
        if (unit == from) unit = to;
    }
    return text;
}

std::wstring Short(const std::wstring& path) {
    wchar_t shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? path : std::wstring(shortPath, length);
}

// The same folder through the drive that Wine maps to the host's root; empty elsewhere.
std::wstring ThroughHostRoot(const std::wstring& path) {
    const std::string host = HostPath(path);
    if (host.empty() || host[0] != '/') return {};
    return Replace(L"Z:" + std::wstring(host.begin(), host.end()), L'/', L'\\');
}

// Every spelling of `folder` that names the folder itself.
std::vector<std::wstring> Spellings(const std::wstring& folder) {
    const std::wstring name = folder.substr(folder.find_last_of(L'\\') + 1);
    std::vector<std::wstring> spellings = {
        folder, Upper(folder), Lower(folder), Replace(folder, L'\\', L'/'), folder + L"\\", folder + L".",
        folder + L" ", folder + L". .", folder + L"\\.", folder + L"\\sub\\..", folder + L"\\\\",
        L"\\\\?\\" + folder, L"\\\\.\\" + folder, Short(folder), Short(Upper(folder)),
    };
    if (folder.size() > 3) spellings.push_back(Parent(folder) + L"\\.\\" + name);
    if (folder.size() > 3) spellings.push_back(folder + L"\\..\\" + name);
    const std::wstring host = ThroughHostRoot(folder);
    if (!host.empty()) spellings.push_back(host);
    return spellings;
}

struct RefusedCase {
    const wchar_t* what;
    std::wstring folder;
};

std::vector<RefusedCase> RefusedFolders() {
    const std::wstring profile = Known(CSIDL_PROFILE);
    return {
        {L"drive root", L"C:\\"},
        {L"Windows", WindowsFolder()},
        {L"inside Windows", WindowsFolder() + L"\\System32"},
        {L"Program Files", Known(CSIDL_PROGRAM_FILES)},
        {L"Program Files (x86)", Known(CSIDL_PROGRAM_FILESX86)},
        {L"Common Files", Known(CSIDL_PROGRAM_FILES_COMMON)},
        {L"profiles", Parent(profile)},
        {L"own profile", profile},
        {L"another profile", Parent(profile) + L"\\Public"},
        {L"application data", Known(CSIDL_APPDATA)},
        {L"local application data", Known(CSIDL_LOCAL_APPDATA)},
        {L"common application data", Known(CSIDL_COMMON_APPDATA)},
        {L"documents", Known(CSIDL_PERSONAL)},
        {L"desktop", Known(CSIDL_DESKTOPDIRECTORY)},
        {L"common Start menu programs", Known(CSIDL_COMMON_PROGRAMS)},
    };
}

TEST(RemovalGuard, EverySpellingOfAFolderOfTheSystemOrTheUserIsRefused) {
    for (const RefusedCase& refused : RefusedFolders()) {
        ASSERT_FALSE(refused.folder.empty()) << refused.what;
        for (const std::wstring& spelling : Spellings(refused.folder)) {
            EXPECT_NE(RemovalRefusal(spelling), nullptr) << refused.what << ": " << spelling;
        }
    }
    // The spellings that do not name a full path on a drive are refused as such.
    for (const wchar_t* folder : {L"", L"C:", L"Corvane", L"C:Corvane", L"..\\Corvane",
                                  L"\\\\server\\share\\Corvane", L"\\\\?\\UNC\\server\\share\\Corvane"}) {
        EXPECT_NE(RemovalRefusal(folder), nullptr) << folder;
    }
    EXPECT_STREQ(RemovalRefusal(L"c:/"), L"a drive root");
    EXPECT_STREQ(RemovalRefusal(Short(Known(CSIDL_PROFILE))), L"a user profile");
}

TEST(RemovalGuard, AProductsOwnFolderIsNot) {
    const std::wstring programs = Known(CSIDL_PROGRAM_FILES);
    const std::wstring accepted[] = {programs + L"\\Corvane", programs + L"\\Corvane\\", L"D:\\Apps\\Corvane",
                                     Known(CSIDL_LOCAL_APPDATA) + L"\\Corvane", WindowsFolder() + L"Apps",
                                     Short(Known(CSIDL_PROGRAM_FILESX86)) + L"\\Corvane Software\\Corvane",
                                     Known(CSIDL_PROFILE) + L"\\Apps\\Corvane"};
    for (const std::wstring& folder : accepted) EXPECT_EQ(RemovalRefusal(folder), nullptr) << folder;
}

// Links made on the host under Wine; CreateSymbolicLinkW where the platform has it.
class Links : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = FreshFolder(L"qpxguard");
        ASSERT_TRUE(CreateDirectoryW((root_ + L"\\apps").c_str(), nullptr));
    }
    void TearDown() override { RemoveTreeSafely(root_); }
    std::wstring root_;
};

TEST_F(Links, AFolderThatIsOrLiesBelowALinkToARefusedFolderIsRefused) {
    const std::wstring toWindows = root_ + L"\\apps\\windows-link";
    const std::wstring toPrograms = root_ + L"\\apps\\programs-link";
    ASSERT_TRUE(MakeFolderLink(toWindows, WindowsFolder()));
    ASSERT_TRUE(MakeFolderLink(toPrograms, Known(CSIDL_PROGRAM_FILES)));
    EXPECT_NE(RemovalRefusal(toWindows), nullptr);
    EXPECT_NE(RemovalRefusal(toWindows + L"\\Temp\\Corvane"), nullptr);  // below, whether it exists or not
    EXPECT_NE(RemovalRefusal(toWindows + L"\\System32"), nullptr);
    EXPECT_NE(RemovalRefusal(toPrograms), nullptr);
    EXPECT_EQ(RemovalRefusal(toPrograms + L"\\Corvane"), nullptr);  // as Program Files\Corvane is
    EXPECT_EQ(RemovalRefusal(root_ + L"\\apps"), nullptr);
    EXPECT_TRUE(IsInsideFolder(toWindows + L"\\System32\\x.dll", WindowsFolder()));
    EXPECT_TRUE(ReachesThroughLink(toWindows + L"\\System32\\x.dll", root_));
    EXPECT_FALSE(ReachesThroughLink(root_ + L"\\apps\\x.dll", root_));
}

TEST_F(Links, TreeRemovalTakesTheLinksAndNeverWhatTheyLeadTo) {
    const std::wstring target = root_ + L"\\target";
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(target + L"\\keep.txt", "keep"));
    const std::wstring tree = root_ + L"\\apps\\tree";
    ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((tree + L"\\deep").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(tree + L"\\deep\\own.txt", "own"));
    ASSERT_TRUE(MakeFolderLink(tree + L"\\deep\\link", target));
    ASSERT_TRUE(MakeFolderLink(tree + L"\\windows-link", WindowsFolder()));
    std::vector<std::wstring> folders;
    EXPECT_TRUE(RemoveTree(tree, [&folders](const std::wstring& folder) { folders.push_back(folder); }));
    EXPECT_EQ(ReadFileBytes(target + L"\\keep.txt"), "keep");
    EXPECT_EQ(GetFileAttributesW((tree + L"\\deep\\own.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(folders, std::vector<std::wstring>{tree + L"\\deep"});
    EXPECT_NE(GetFileAttributesW((WindowsFolder() + L"\\System32").c_str()), INVALID_FILE_ATTRIBUTES);

    // A refused folder, however it is reached, is not removed at all.
    EXPECT_FALSE(RemoveTree(Replace(WindowsFolder(), L'\\', L'/') + L"/."));
    const std::wstring link = root_ + L"\\apps\\programs-link";
    ASSERT_TRUE(MakeFolderLink(link, Known(CSIDL_PROGRAM_FILES)));
    EXPECT_FALSE(RemoveTree(link));
}

TEST(RemovalGuard, InsideMeansBelowNotBesideNorTheFolderItself) {
    EXPECT_TRUE(IsInsideFolder(L"C:\\Apps\\Corvane\\Uninstall.exe", L"c:\\apps\\corvane"));
    EXPECT_TRUE(IsInsideFolder(L"C:\\Apps\\Corvane\\sub\\x.dll", L"C:\\Apps\\Corvane\\"));
    EXPECT_TRUE(IsInsideFolder(L"C:/Apps/Corvane/./x.dll", L"C:\\Apps\\Corvane."));
    EXPECT_FALSE(IsInsideFolder(L"C:\\Apps\\Corvane2\\Uninstall.exe", L"C:\\Apps\\Corvane"));
    EXPECT_FALSE(IsInsideFolder(L"C:\\Apps\\Corvane", L"C:\\Apps\\Corvane"));
    EXPECT_FALSE(IsInsideFolder(L"C:\\Temp\\Uninstall.exe", L""));
    const std::wstring host = ThroughHostRoot(WindowsFolder());
    if (!host.empty()) {
        EXPECT_TRUE(IsInsideFolder(host + L"\\System32\\kernel32.dll", WindowsFolder()));
    }
}

}  // namespace
