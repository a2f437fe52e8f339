# 32-bit Windows, the product's own target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(UPDATER_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${UPDATER_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${UPDATER_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${UPDATER_TRIPLET}-windres)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
