# The decisions free of <windows.h>, built by clang for this machine: their
# GoogleTest tables under AddressSanitizer and UndefinedBehaviorSanitizer, and
# a libFuzzer target for every function that reads bytes from outside.

# The pure sources: every .cpp under src/ but the executable's own that, with the
# project headers it includes, names no <....h> header (the C++ standard
# library's headers have no extension; <windows.h>, the C runtime's own and
# libcurl's all do) and uses none of the build's UPDATER_ constants.
function(updater_header_free file out)
  file(STRINGS ${file} includes REGEX "^#include ")
  foreach(line IN LISTS includes)
    if(line MATCHES "<[^>]*\\.h>")
      set(${out} FALSE PARENT_SCOPE)
      return()
    elseif(line MATCHES "\"([^\"]+)\"")
      set(header ${CMAKE_SOURCE_DIR}/src/${CMAKE_MATCH_1})
      if(NOT EXISTS ${header}) # made by the Windows build
        set(${out} FALSE PARENT_SCOPE)
        return()
      endif()
      updater_header_free(${header} free)
      if(NOT free)
        set(${out} FALSE PARENT_SCOPE)
        return()
      endif()
    endif()
  endforeach()
  set(${out} TRUE PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE all_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
set(UPDATER_PURE_SOURCES "")
list(REMOVE_ITEM all_sources ${UPDATER_ENTRY_SOURCES})
foreach(source IN LISTS all_sources)
  updater_header_free(${source} free)
  file(STRINGS ${source} constants REGEX "UPDATER_[A-Z_]+")
  if(free AND NOT constants)
    list(APPEND UPDATER_PURE_SOURCES ${source})
  endif()
endforeach()
string(REPLACE "${CMAKE_SOURCE_DIR}/" "" pure_names "${UPDATER_PURE_SOURCES}")
message(STATUS "Windows-free sources: ${pure_names}")

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
updater_fuzz_target(proxy)

# The targets' names, one a line, for tools/fuzz.
get_property(fuzz_targets GLOBAL PROPERTY UPDATER_FUZZ_TARGETS)
list(JOIN fuzz_targets "\n" fuzz_lines)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/fuzz-targets.txt CONTENT "${fuzz_lines}\n")
