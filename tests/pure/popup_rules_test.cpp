// The popup's bar within a file's step, and how much of a status text fits
// its buffer.
#include "launch/popup_rules.h"

#include <gtest/gtest.h>

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

// The longest prefix that fits, never ending inside a surrogate pair, found
// in a logarithmic number of conversions. Here each unit is a byte.
TEST(PopupRules, TheLongestWholePrefixThatFits) {
    const std::wstring text = L"ab\xD83D\xDE00"
                              L"cd\xD83D";
    const std::size_t expected[] = {0, 1, 2, 2, 4, 5, 6, 7, 7};
    for (std::size_t maxBytes = 0; maxBytes < std::size(expected); ++maxBytes) {
        std::size_t conversions = 0;
        auto units = [&](std::wstring_view part) { return ++conversions, part.size(); };
        EXPECT_EQ(FittingPrefixLength(text, maxBytes, units), expected[maxBytes]) << maxBytes;
        EXPECT_LE(conversions, 5u) << maxBytes;
    }
    const std::wstring lengthy(100000, L'x');
    std::size_t conversions = 0;
    auto units = [&](std::wstring_view part) { return ++conversions, part.size(); };
    EXPECT_EQ(FittingPrefixLength(lengthy, 255, units), 255u);
    EXPECT_LE(conversions, 20u);
}
