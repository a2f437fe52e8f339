# The decisions free of <windows.h>, built by clang for this machine: their
# GoogleTest tables under AddressSanitizer and UndefinedBehaviorSanitizer, and
# a libFuzzer target for every function that reads bytes from outside.

# The pure sources. A new one is added here; the Windows build takes all of src/.
set(UPDATER_PURE_SOURCES
  src/app/popup_rules.cpp
  src/app/update_rules.cpp
  src/launch/architecture_rules.cpp
  src/log/log_line.cpp
  src/net/download_rules.cpp
  src/net/resume_rules.cpp
  src/net/signature_rules.cpp
  src/patch/move_retry.cpp
  src/patch/patch_entry.cpp
  src/patch/patch_text.cpp)

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "the native build needs clang (preset native): libFuzzer comes with it")
endif()

set(UPDATER_WARNINGS -Wall -Wextra -Werror)
# Every finding stops the program: a sanitizer report is a failed test.
set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all)
add_compile_options(-g -O1 -fno-omit-frame-pointer ${sanitizers})
add_link_options(${sanitizers})

# Once for the tests, once with libFuzzer's coverage counters for the targets.
foreach(flavour pure pure_fuzz)
  add_library(updater_${flavour} STATIC ${UPDATER_PURE_SOURCES})
  target_include_directories(updater_${flavour} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(updater_${flavour} PRIVATE ${UPDATER_WARNINGS})
endforeach()
target_compile_options(updater_pure_fuzz PUBLIC -fsanitize=fuzzer-no-link)

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

# updater_fuzz_target(name [source...]): tests/fuzz/<name>_fuzz.cpp, with its
# seeds in tests/fuzz/corpus/<name>/, built as build/native/fuzz/<name>. CTest
# runs each seed once; tools/fuzz runs the target for a while.
function(updater_fuzz_target name)
  set(seeds ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
  if(NOT IS_DIRECTORY ${seeds})
    message(FATAL_ERROR "fuzz target ${name} has no seed folder tests/fuzz/corpus/${name}/")
  endif()
  add_executable(${name}_fuzz ${CMAKE_SOURCE_DIR}/tests/fuzz/${name}_fuzz.cpp ${ARGN})
  target_include_directories(${name}_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(${name}_fuzz PRIVATE ${UPDATER_WARNINGS})
  target_link_libraries(${name}_fuzz PRIVATE updater_pure_fuzz)
  target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name}_fuzz PROPERTIES OUTPUT_NAME ${name}
                                                RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_test(NAME fuzz_${name}_seeds COMMAND ${name}_fuzz -runs=0 ${seeds})
  set_property(GLOBAL APPEND PROPERTY UPDATER_FUZZ_TARGETS ${name})
endfunction()

updater_fuzz_target(patch_list)
updater_fuzz_target(resume)
updater_fuzz_target(minisig)

# The targets' names, one a line, for tools/fuzz.
get_property(fuzz_targets GLOBAL PROPERTY UPDATER_FUZZ_TARGETS)
list(JOIN fuzz_targets "\n" fuzz_lines)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/fuzz-targets.txt CONTENT "${fuzz_lines}\n")
