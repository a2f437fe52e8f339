// The popup's bar within a file's step, and how much of a status text fits
// its buffer.
#include "launch/popup_rules.h"

#include <gtest/gtest.h>

#include <vector>

TEST(PopupRules, TheBarFollowsTheBytesWithinItsStep) {
    struct Case {
        std::uint64_t received, expected;
        int percent;
    } cases[] = {
        {0, 0, 10},      {500, 0, 10},     {0, 1000, 10},    {500, 1000, 50},
        {999, 1000, 89}, {1000, 1000, 90}, {5000, 1000, 90}, {UINT64_MAX - 1, UINT64_MAX, 89},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StepPercent(10, 90, c.received, c.expected), c.percent) << c.received;
}

namespace {

bool IsHigh(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLow(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// UTF-8 as WideCharToMultiByte gives it: a lone surrogate becomes U+FFFD.
std::size_t Utf8Bytes(std::wstring_view text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned c = static_cast<unsigned>(text[i]);
        const bool pair = IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1]);
        n += c < 0x80 ? 1 : c < 0x800 ? 2 : pair ? 4 : 3;
        i += pair;
    }
    return n;
}

} // namespace

// For every buffer size: the longest prefix that fits without splitting a
// pair, found in a logarithmic number of conversions.
TEST(PopupRules, TheLongestWholePrefixThatFits) {
    std::wstring text; // characters of one to four bytes, lone halves among them
    for (int i = 0; i < 40; ++i)
        text += std::wstring(L"a\u00E9\u4E2D\xD83D\xDE00\xDE00") + L"b\xD83D" + L"c";
    text += L"\xD83D";
    std::vector<std::size_t> bytes; // of each prefix; a split pair never fits
    for (std::size_t n = 0; n <= text.size(); ++n)
        bytes.push_back(n > 0 && n < text.size() && IsHigh(text[n - 1]) && IsLow(text[n])
                            ? SIZE_MAX
                            : Utf8Bytes(std::wstring_view(text).substr(0, n)));
    std::size_t steps = 2;
    for (std::size_t s = text.size(); s > 0; s >>= 1)
        ++steps;
    for (std::size_t maxBytes = 0; maxBytes <= bytes.back() + 1; ++maxBytes) {
        std::size_t longest = 0, conversions = 0;
        for (std::size_t n = 0; n <= text.size(); ++n)
            longest = bytes[n] <= maxBytes ? n : longest;
        auto counted = [&](std::wstring_view part) { return ++conversions, Utf8Bytes(part); };
        EXPECT_EQ(FittingPrefixLength(text, maxBytes, counted), longest) << maxBytes;
        EXPECT_LE(conversions, steps) << maxBytes;
    }
}
