// The bytes of a log line: one per character up to U+00FF, "?" for each
// UTF-16 unit above.
#include "log/log_line.h"

#include <gtest/gtest.h>

TEST(LogLine, BytesWithQuestionMarksAboveLatin1) {
    EXPECT_EQ(LogLineBytes(std::wstring(L"a\0b\u00FF\u0100", 5)), std::string("a\0b\xFF?", 5));
    // A surrogate pair is two units, written out here as wchar_t is wider off Windows.
    EXPECT_EQ(LogLineBytes({wchar_t(0xD83D), wchar_t(0xDE00)}), "??");
}
