// Shared by the archive tests: the archives 7-Zip made at build time, what 7-Zip lists and
// extracts for each, and fresh folders to extract into.
#include "archivetest.h"

#include <gtest/gtest.h>

#include <sstream>

#include "qpxhandle.h"
#include "qpxtext.h"
#include "testsupport.h"

namespace {

constexpr DWORD kComparedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

}  // namespace

void MakeFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
}

std::wstring Data(const std::wstring& name) { return ProgramFolder() + L"archives\\" + name; }

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (find) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find.get(), &found));
    }
    RemoveDirectoryW(path.c_str());
}

size_t CountEntries(const std::wstring& path) {
    size_t count = 0;
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (!find) return 0;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        ++count;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) count += CountEntries(path + L"\\" + name);
    } while (FindNextFileW(find.get(), &found));
    return count;
}

std::vector<Entry> Listing(const std::wstring& archive) {
    const std::string bytes = ReadFileBytes(Data(archive + L".list"));
    std::wistringstream lines(Utf8ToWide(bytes.data(), bytes.size()));
    std::vector<Entry> entries;
    std::wstring kind, path;
    unsigned long long time;
    DWORD attributes;
    while (std::getline(lines, kind, L'\t') && std::getline(lines, path, L'\t') &&
           lines >> time >> attributes) {
        lines.ignore(1);
        entries.push_back({kind == L"D", path, time, attributes});
    }
    return entries;
}

std::vector<Entry> Files(const std::wstring& archive) {
    std::vector<Entry> files;
    for (const Entry& entry : Listing(archive)) {
        if (!entry.directory) files.push_back(entry);
    }
    return files;
}

void ExpectSameTree(const std::wstring& archive, const std::wstring& folder) {
    const std::vector<Entry> entries = Listing(archive);
    ASSERT_FALSE(entries.empty()) << "no listing of " << WideToUtf8(archive);
    EXPECT_EQ(CountEntries(folder), entries.size()) << WideToUtf8(archive);
    for (const Entry& entry : entries) {
        const std::wstring path = folder + L"\\" + entry.path;
        const std::string name = WideToUtf8(archive + L": " + entry.path);
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) << name;
        EXPECT_EQ(data.dwFileAttributes & kComparedAttributes, entry.attributes & kComparedAttributes)
            << name;
        if (entry.directory) continue;
        const unsigned long long lastWrite =
            (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
            data.ftLastWriteTime.dwLowDateTime;
        EXPECT_EQ(lastWrite, entry.lastWrite) << name;
        const std::string expected = ReadFileBytes(Data(L"expected\\" + archive + L"\\" + entry.path));
        const std::string actual = ReadFileBytes(path);
        EXPECT_EQ(actual.size(), expected.size()) << name;
        EXPECT_TRUE(actual == expected) << name;
    }
}
