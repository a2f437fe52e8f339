// Any bytes as a <name>.part.info file, a Content-Range value, a header line
// and the validators a response offers.
#include "fuzz/fuzz_input.h"
#include "net/resume_rules.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // An info file is read only as its writer wrote it, so what parses writes
    // back byte for byte, and promises a length.
    if (auto info = ParsePartInfo(text)) {
        FUZZ_CHECK(FormatPartInfo(*info) == text);
        FUZZ_CHECK(info->length > 0 && !info->url.empty() && !info->validator.empty());
    }

    // A parsed range never promises bytes outside the file.
    if (auto range = ParseContentRange(text))
        FUZZ_CHECK(range->first <= range->last && range->last < range->complete);

    // Appending is only ever for exactly the rest of the recorded length.
    const std::uint64_t offset = size, length = size * 3 + 1;
    if (JudgeRangeAnswer(206, text, offset, length) == RangeAnswer::Append) {
        auto range = ParseContentRange(text);
        FUZZ_CHECK(range && range->first == offset && range->last == length - 1 &&
                   range->complete == length);
    }

    if (auto value = HeaderValue(text, "etag")) {
        FUZZ_CHECK(value->size() < size);
        const Validator v = ChooseValidator(*value, text);
        // A strong ETag is a quoted, printable token; a date only printable.
        for (char c : v.value)
            FUZZ_CHECK(c >= 0x20 && c < 0x7F);
        if (v.isEtag)
            FUZZ_CHECK(v.value.size() >= 2 && v.value.front() == '"' && v.value.back() == '"');
    }
    const long seconds = RetryAfterSeconds(text);
    FUZZ_CHECK(seconds >= -1 && seconds <= 86400);
    FUZZ_CHECK(RetryDelayMs(1, seconds) <= 10000);
    return 0;
}
