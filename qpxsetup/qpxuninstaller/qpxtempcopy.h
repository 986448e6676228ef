// The uninstaller runs from a copy in a fresh folder under the user's temporary folder, so
// that the folder it came from can be removed: Windows keeps a running program's file, though
// it lets it be moved.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

// The original: copies this program and `files` from beside it into a fresh temporary folder,
// runs the copy with this command line's words and "/ORIGIN=<this program>", waits for it,
// and has the temporary folder removed once this process has ended. The copy's exit code, or
// 0 (with a message) when no copy could be made or started.
int RunTemporaryCopy(std::initializer_list<const wchar_t*> files);

// The copy: moves the original program, when it lies inside `installFolder`, into this copy's
// own folder, so that the install folder can be removed while the original waits. Where it
// went, or empty when it stayed.
std::wstring MoveOriginalAside(const std::wstring& original, const std::wstring& installFolder);

// The copy: what the original is to have removed once it has ended, because nothing else
// lets it go (on another volume than the temporary folder the original cannot be moved aside):
// its own file first, then the folders that wait only for it. The original removes them with
// its temporary folder, a folder only when it is empty by then.
void LeaveForTheOriginal(const std::vector<std::wstring>& paths);

// The folder of this program, with a trailing backslash.
std::wstring ProgramFolder();
