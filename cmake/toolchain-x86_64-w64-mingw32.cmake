# 64-bit build: the one that runs (under Wine) on the development machines.
set(VELMORA_TRIPLE x86_64-w64-mingw32)
set(VELMORA_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
