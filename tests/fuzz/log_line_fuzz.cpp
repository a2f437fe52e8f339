// Any UTF-16 level word and message, at any time the C runtime can give,
// through the log line and its bytes on disk.
#include "fuzz/fuzz_input.h"
#include "log/log_line.h"

#include <cwctype>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput input{data, size};
    std::tm t = {};
    // _localtime64_s goes up to the year 3000; a failed call leaves the zeros.
    t.tm_year = (input.Byte() | input.Byte() << 8) % 1101;
    t.tm_mon = input.Byte() % 12;
    t.tm_mday = input.Byte() % 32;
    t.tm_hour = input.Byte() % 24;
    t.tm_min = input.Byte() % 60;
    t.tm_sec = input.Byte() % 61;
    const std::wstring level = input.Utf16(input.Byte());
    const std::wstring message = input.Utf16();

    // "[" level "] " stamp " - " message, the stamp "YYYY-MM-DD HH:MM:SS".
    const std::wstring line = FormatLogLine(level, message, t);
    const std::size_t at = level.size() + 3;
    FUZZ_CHECK(line.size() == at + 19 + 3 + message.size());
    FUZZ_CHECK(line.compare(0, at, L"[" + level + L"] ") == 0);
    FUZZ_CHECK(line.compare(at + 19, std::wstring::npos, L" - " + message) == 0);
    for (std::size_t i = 0; i < 19; ++i)
        FUZZ_CHECK(L"0000-00-00 00:00:00"[i] == L'0' ? std::iswdigit(line[at + i]) != 0
                                                     : line[at + i] == L"0000-00-00 00:00:00"[i]);

    // One byte per unit: the same value up to U+00FF, "?" above.
    const std::string bytes = LogLineBytes(line);
    FUZZ_CHECK(bytes.size() == line.size());
    for (std::size_t i = 0; i < line.size(); ++i)
        FUZZ_CHECK(static_cast<unsigned char>(bytes[i]) == (line[i] <= 0xFF ? line[i] : L'?'));
    return 0;
}
