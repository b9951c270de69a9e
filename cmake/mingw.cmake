# MinGW-w64 cross toolchain. KAVORIN_MINGW_ARCH is i686 (the product) or x86_64 (test build).
set(CMAKE_SYSTEM_NAME Windows)
if(NOT KAVORIN_MINGW_ARCH)
  set(KAVORIN_MINGW_ARCH i686)
endif()
set(KAVORIN_MINGW_ARCH "${KAVORIN_MINGW_ARCH}" CACHE STRING "i686 or x86_64")
set(CMAKE_SYSTEM_PROCESSOR ${KAVORIN_MINGW_ARCH})
set(triplet ${KAVORIN_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER   ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER  ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run under Wine, one prefix per build directory.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh")
