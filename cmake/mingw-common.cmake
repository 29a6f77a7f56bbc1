# Shared part of the two MinGW-w64 toolchain files. The caller sets VELMORA_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VELMORA_ARCH})

set(CMAKE_C_COMPILER   ${VELMORA_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VELMORA_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: no libstdc++/libgcc/winpthread DLL has to travel beside the exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
