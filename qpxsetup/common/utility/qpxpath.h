// Paths as scripts and globals give them: environment variables expanded.
#pragma once

#include <string>

// Expands the environment variables of a path; variables that are not defined stay as
// written. Long results are expanded whole.
std::wstring ExpandPath(const std::wstring& path);
