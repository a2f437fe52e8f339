set(CMAKE_FIND_ROOT_PATH /usr/${UPDATER_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run the Windows executables through Wine (Debian's 64-bit loader),
# by a script that waits for the program rather than for its output pipe.
get_filename_component(UPDATER_WINE_TEST ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-test ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${UPDATER_WINE_TEST})
