// Folders an installation must never own: the product's uninstaller deletes the install
// folder with all it holds, so a wrong folder from the registry, a script or the user's choice
// would take the system or a user's files with it. The installer refuses them as install
// folders, the uninstaller as folders to remove.
#pragma once

#include <string>

// Why `folder` must not be removed: it is empty, not a full path on a drive, a drive root, the
// Windows folder or inside it, a Program Files folder itself, the profiles folder or a user's
// profile, or one of the system's or the user's own folders (documents, desktop, application
// data). Null when it may be removed.
const wchar_t* RemovalRefusal(const std::wstring& folder);

// Whether `path` lies inside `folder` (both full paths, compared without regard to case).
bool IsInsideFolder(const std::wstring& path, const std::wstring& folder);
