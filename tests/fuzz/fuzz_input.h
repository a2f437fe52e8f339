// Shared by the fuzz targets: a check that holds in every build (assert()
// would vanish under NDEBUG); failing makes the input a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? (void)0                                                                         \
                 : (std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__,          \
                                 __LINE__, #condition),                                            \
                    std::abort()))
