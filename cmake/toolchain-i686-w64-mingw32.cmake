# 32-bit build: the release build.
set(VELMORA_TRIPLE i686-w64-mingw32)
set(VELMORA_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
