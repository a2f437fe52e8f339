// Any UTF-16 text, lone surrogates included, fitted to a message buffer of
// any size up to the popup's, in the byte forms of the code pages that matter:
// UTF-8, a double-byte Asian one and a single-byte Western one. The fitted
// prefix never overflows the buffer, never splits a character, and is the
// longest that fits, found with few conversions.
#include "app/popup_rules.h"
#include "fuzz/fuzz_input.h"

namespace {

// What WideCharToMultiByte gives: a lone surrogate becomes U+FFFD in UTF-8
// and "?" in the others; a pair is one character.
std::string Encode(std::wstring_view text, uint8_t codePage) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned c = static_cast<unsigned>(text[i]);
        const bool pair =
            IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
        const bool lone = !pair && (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i]));
        if (codePage == 0) { // UTF-8
            if (pair) {
                const unsigned cp = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                bytes += {char(0xF0 | cp >> 18), char(0x80 | (cp >> 12 & 0x3F)),
                          char(0x80 | (cp >> 6 & 0x3F)), char(0x80 | (cp & 0x3F))};
            } else if (lone) {
                bytes += "\xEF\xBF\xBD";
            } else if (c < 0x80) {
                bytes += char(c);
            } else if (c < 0x800) {
                bytes += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
            } else {
                bytes +=
                    {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
            }
        } else if (codePage == 1 && c >= 0x80 && !pair && !lone) { // double-byte
            bytes += {char(0x81 + c % 0x7E), char(0x40 + c % 0xBF)};
        } else { // one byte, "?" for what the code page lacks
            bytes += c < 0x80 || (codePage == 2 && c <= 0xFF && !lone) ? char(c) : '?';
        }
        i += pair;
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput input{data, size};
    const uint8_t codePage = input.Byte() % 3;
    const uint8_t buffer = input.Byte();
    const std::size_t maxBytes = buffer == 0 ? kPopupMessageBufferSize - 1 : buffer - 1;
    const std::wstring text = input.Utf16();

    std::size_t conversions = 0;
    auto bytesOf = [&](std::wstring_view part) {
        ++conversions;
        return Encode(part, codePage).size();
    };
    const std::size_t n = FittingPrefixLength(text, maxBytes, bytesOf);
    FUZZ_CHECK(n <= text.size());
    const std::string fitted = Encode(std::wstring_view(text).substr(0, n), codePage);
    FUZZ_CHECK(fitted.size() <= maxBytes);
    // The same bytes as the start of the whole text's form: no character cut.
    FUZZ_CHECK(Encode(text, codePage).compare(0, fitted.size(), fitted) == 0);
    FUZZ_CHECK(n == 0 || n == text.size() ||
               !(IsHighSurrogate(text[n - 1]) && IsLowSurrogate(text[n])));
    if (n < text.size()) { // one more character would not fit
        const std::size_t next =
            n + 1 +
            (IsHighSurrogate(text[n]) && n + 1 < text.size() && IsLowSurrogate(text[n + 1]));
        FUZZ_CHECK(Encode(std::wstring_view(text).substr(0, next), codePage).size() > maxBytes);
    }
    // A binary search: a few dozen conversions, not one per character.
    std::size_t steps = 2;
    for (std::size_t s = text.size(); s > 0; s >>= 1)
        ++steps;
    FUZZ_CHECK(conversions <= steps);
    return 0;
}
