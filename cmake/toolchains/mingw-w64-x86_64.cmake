# Cross-compiles for 64-bit Windows with Debian's mingw-w64 GCC (the POSIX
# threading flavour, package g++-mingw-w64-x86-64-posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_talvo_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_talvo_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_talvo_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_talvo_triplet}-windres)

# Libraries and headers come from the target's sysroot only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${_talvo_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
