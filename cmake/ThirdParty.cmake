# Builds the fetched third-party sources (tools/fetch-deps.sh) with the project's toolchain.
set(QPX_THIRD_PARTY ${CMAKE_SOURCE_DIR}/third_party)

# Code no exception passes through (it calls back only into allocators and streams that do
# not throw) goes without unwind tables on i686: the linker keeps every function a kept
# .eh_frame names, so with them the unused part of a library stays in the program.
set(QPX_NO_UNWIND_TABLES)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QPX_NO_UNWIND_TABLES -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()

# Lua 5.2, compiled as C++ so that a script error unwinds native frames and their owners.
set(LUA_SRC ${QPX_THIRD_PARTY}/lua/src)
file(GLOB LUA_SOURCES ${LUA_SRC}/*.c)
list(REMOVE_ITEM LUA_SOURCES ${LUA_SRC}/lua.c ${LUA_SRC}/luac.c)
set_source_files_properties(${LUA_SOURCES} PROPERTIES LANGUAGE CXX)
add_library(lua52 STATIC ${LUA_SOURCES})
target_include_directories(lua52 SYSTEM PUBLIC ${LUA_SRC})
target_compile_definitions(lua52 PUBLIC LUA_COMPAT_ALL)
target_compile_options(lua52 PRIVATE -w)
# Numbers become integers rounded to the nearest, ties to even, as Lua does on x86; its x64
# configuration truncates. Scripts and the engine then read the same integers in both builds.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  target_compile_options(lua52 PRIVATE "-Dlua_number2integer(i,n)=((i)=(lua_Integer)__builtin_rint(n))")
endif()

# pugixml in wide-character mode: the layout is UTF-16 and the UI engine works in UTF-16.
# Without its stream and std::string interfaces, which nothing uses: they link the standard
# library's iostreams and locales, about 650 KiB of the installer.
add_library(pugixml STATIC ${QPX_THIRD_PARTY}/pugixml/src/pugixml.cpp)
target_include_directories(pugixml SYSTEM PUBLIC ${QPX_THIRD_PARTY}/pugixml/src)
target_compile_definitions(pugixml PUBLIC PUGIXML_WCHAR_MODE PUGIXML_NO_STL PUGIXML_NO_XPATH)
target_compile_options(pugixml PRIVATE -fno-exceptions ${QPX_NO_UNWIND_TABLES})
# Its number formatting (unused by the loader) with the system runtime's _snprintf: the
# toolchain's C99 snprintf would bring 18 KiB of formatter. The buffers always fit.
target_compile_definitions(pugixml PRIVATE snprintf=_snprintf)

# The LZMA SDK's C 7z decoder, only what the extraction uses: the archive database (7zArcIn,
# with 7zDec and 7zBuf for packed headers), CRCs, the look-ahead and file streams, and the
# coders of the folder stream (LZMA, LZMA2, BCJ, ARM, BCJ2).
set(LZMA_SRC ${QPX_THIRD_PARTY}/7zip/C)
add_library(lzma7z STATIC
  ${LZMA_SRC}/7zArcIn.c ${LZMA_SRC}/7zBuf.c ${LZMA_SRC}/7zCrc.c ${LZMA_SRC}/7zCrcOpt.c
  ${LZMA_SRC}/7zDec.c ${LZMA_SRC}/7zFile.c ${LZMA_SRC}/7zStream.c ${LZMA_SRC}/Bcj2.c
  ${LZMA_SRC}/Bra.c ${LZMA_SRC}/Bra86.c ${LZMA_SRC}/Lzma2Dec.c ${LZMA_SRC}/LzmaDec.c)
# 7-Zip never filters an archive's header, and 7zDec decodes nothing else here: without its
# filters it needs neither the delta nor the other branch converters.
set_source_files_properties(${LZMA_SRC}/7zDec.c PROPERTIES COMPILE_DEFINITIONS Z7_NO_METHODS_FILTERS)
target_include_directories(lzma7z SYSTEM PUBLIC ${LZMA_SRC})
target_compile_definitions(lzma7z PUBLIC Z7_EXTRACT_ONLY)
# Optimised for speed: decoding the payload is the longest step of an installation.
target_compile_options(lzma7z PRIVATE -w -O2 ${QPX_NO_UNWIND_TABLES})

# GoogleTest from Debian's googletest sources.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${QPX_THIRD_PARTY}/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
