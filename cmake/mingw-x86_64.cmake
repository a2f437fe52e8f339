# 64-bit Windows: the same sources, built so the tests can run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(UPDATER_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${UPDATER_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${UPDATER_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${UPDATER_TRIPLET}-windres)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
