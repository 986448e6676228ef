# 32-bit Windows (PE32), the installer's default.
set(QPX_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
