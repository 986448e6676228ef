// Folders an installation must never own, compared by what they are, not by how a path spells
// them: an install folder chosen by the user, given on the command line or read back from the
// registry can name the Windows folder as "C:\WINDOW~1", "c:/windows/.", "\\?\C:\Windows" or
// through a junction, and whatever is removed later is removed there. The installer refuses
// such folders as install folders, the uninstaller as folders to remove, the script library as
// folders to delete or move whole.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The path as Windows resolves it: the "\\?\" and "\\.\" prefixes dropped, "/" read as "\",
// "." and ".." resolved, trailing dots and blanks of every component dropped, and, as far as
// the path exists, short names made long and junctions and symbolic links followed; no
// trailing backslash but on a drive root. Empty for anything that is not a full path on a
// drive (relative, drive-relative, network or device paths).
std::wstring ResolvedPath(const std::wstring& path);

// Why `folder` must not be removed: it is empty, not a full path on a drive, a drive root or
// a mounted volume, the Windows folder or inside it, a Program Files or Common Files folder
// itself, the profiles folder or a user's profile, or one of the system's or the user's own
// folders (documents, desktop, application data, Start menu). Where the folder exists it is
// also compared by volume and file identity, so a link leading to a refused folder, or into
// the Windows folder, is refused too. Null when it may be removed.
const wchar_t* RemovalRefusal(const std::wstring& folder);
// The script library's line for a step refused on such a folder: "Fun:<function>,
// Description:<path> is <why>, refused!".
void LogRefusal(const wchar_t* functionName, const std::wstring& path, const wchar_t* why);

// Whether `path` lies inside `folder`, by spelling as resolved and, where both exist, by
// identity.
bool IsInsideFolder(const std::wstring& path, const std::wstring& folder);

// Whether `path`, or a folder on its way below `top`, is a junction or a symbolic link: a
// removal through it would reach whatever it points to. `top` itself is not looked at.
bool ReachesThroughLink(const std::wstring& path, const std::wstring& top);

// Whether the attributes are those of a junction or symbolic link to a folder.
bool IsLinkedFolder(unsigned long attributes);

// Whether a folder listing's entry is the folder itself or its parent ("." or "..").
bool IsDotEntry(const WIN32_FIND_DATAW& entry);

// Deletes a folder tree (depth first, read-only files included) or the files and folders a
// path or wildcard pattern matches, going on past failures. A junction or symbolic link at any
// depth loses only its link, never what it points to, and a refused folder is never removed
// (logged). `onFolder` hears of each folder below the top one before it is emptied. When the
// folder removed is the current directory, the current directory moves to its parent. False
// when the top folder itself was refused.
bool RemoveTree(const std::wstring& path, const std::function<void(const std::wstring&)>& onFolder = {});

// Has `path` removed at the next restart (a folder only goes then if it is empty); logs what
// really happened: the system may refuse to schedule it (no right to).
bool ScheduleRemovalAtRestart(const std::wstring& path);

// Whether `path` lies in the Windows folder, whatever its spelling.
bool IsInWindowsFolder(const std::wstring& path);
