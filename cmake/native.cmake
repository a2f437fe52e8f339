# The decisions free of <windows.h>, built by clang for this machine: their
# GoogleTest tables under AddressSanitizer and UndefinedBehaviorSanitizer.

# The pure sources. A new one is added here; the Windows build takes all of src/.
set(UPDATER_PURE_SOURCES
  src/app/popup_rules.cpp
  src/app/update_rules.cpp
  src/launch/architecture_rules.cpp
  src/log/log_line.cpp
  src/net/download_rules.cpp
  src/patch/move_retry.cpp
  src/patch/patch_entry.cpp
  src/patch/patch_text.cpp)

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "the native build needs clang (preset native)")
endif()

set(UPDATER_WARNINGS -Wall -Wextra -Werror)
# Every finding stops the program: a sanitizer report is a failed test.
set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all)
add_compile_options(-g -O1 -fno-omit-frame-pointer ${sanitizers})
add_link_options(${sanitizers})

add_library(updater_pure STATIC ${UPDATER_PURE_SOURCES})
target_include_directories(updater_pure PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(updater_pure PRIVATE ${UPDATER_WARNINGS})

enable_testing()
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# tests/pure/: the same tables the Windows build runs under Wine.
file(GLOB pure_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/pure/*_test.cpp)
add_executable(pure_test ${pure_tests})
target_compile_options(pure_test PRIVATE ${UPDATER_WARNINGS})
target_link_libraries(pure_test PRIVATE updater_pure GTest::gtest_main)
add_test(NAME pure_test COMMAND pure_test --gtest_brief=1)
