// Shared pieces of the fuzz targets: the fuzzer's bytes as the inputs the
// decisions take, and a check that holds in every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Fails the run, and so makes the input a finding; assert() would vanish
// under NDEBUG.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__,        \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// The bytes that are left, read from the front.
struct FuzzInput {
    const uint8_t* data;
    std::size_t size;

    uint8_t Byte() {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }

    // Text as Windows holds it: every two bytes one UTF-16 unit, low byte
    // first, any value (lone surrogates too). wchar_t is wider here, so the
    // units stay within 0..0xFFFF as they would there. At most maxUnits.
    std::wstring Utf16(std::size_t maxUnits = SIZE_MAX) {
        std::wstring text;
        while (size >= 2 && text.size() < maxUnits) {
            text += static_cast<wchar_t>(data[0] | data[1] << 8);
            data += 2;
            size -= 2;
        }
        return text;
    }
};

inline bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

inline bool IsLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
