// Shared by the archive tests: the archives 7-Zip made at build time (make_test_archives.py),
// what 7-Zip lists and extracts for each, and fresh folders to extract into.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A file of the archive test data, beside the test program.
std::wstring Data(const std::wstring& name);

// Creates the folder and the folders above it.
void MakeFolders(const std::wstring& path);
void RemoveTree(const std::wstring& path);
// Files and folders below `path`, at any depth.
size_t CountEntries(const std::wstring& path);

// One line of what 7-Zip lists for an archive.
struct Entry {
    bool directory;
    std::wstring path;  // below the destination, with backslashes
    unsigned long long lastWrite;
    DWORD attributes;
};

std::vector<Entry> Listing(const std::wstring& archive);
// The file entries only, in archive order.
std::vector<Entry> Files(const std::wstring& archive);

// The tree holds exactly the entries 7-Zip lists, with the bytes of 7-Zip's own extraction,
// their times and attributes.
void ExpectSameTree(const std::wstring& archive, const std::wstring& folder);
