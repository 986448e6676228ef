// Paths as scripts and globals give them: environment variables expanded, folders and names
// joined without the 260-unit limit of the shell's helpers.
#pragma once

#include <string>
#include <vector>

// Expands the environment variables of a path; variables that are not defined stay as
// written. Long results are expanded whole.
std::wstring ExpandPath(const std::wstring& path);

// The folder part of a path: everything before its last backslash, keeping a drive root's
// own backslash; empty for a bare name.
std::wstring FolderOf(const std::wstring& path);

// Whether anything is at `path`; whether a folder is.
bool PathExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);

// The last component of a path.
std::wstring NameOf(const std::wstring& path);

// The folders of `path` that do not exist yet, outermost first, `path` itself included.
std::vector<std::wstring> MissingFolders(const std::wstring& path);

// The whole of a file of at most `largest` bytes; false when it cannot be read or is larger.
bool ReadWholeFile(const std::wstring& path, unsigned long long largest, std::string& bytes);

// `folder` and `name` with one backslash between them.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
