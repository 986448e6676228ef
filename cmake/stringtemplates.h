// Included before each of our sources (not the third-party ones: in C compiled as C++, the
// library's configuration header would switch stdio to mingw's own printf and scanf). The standard
// library declares its std::string and std::wstring instantiations extern, so that each
// program links the library's copies: one object holding every member (about 33 KiB apiece
// here), whatever the program uses. -1 is the library's own setting for "no extern templates
// for basic_string": the members a source uses are instantiated there, and the linker keeps
// only those.
#pragma once
#ifdef __cplusplus
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
#endif
