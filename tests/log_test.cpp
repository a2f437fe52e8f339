// The log writer's bytes on disk (LogCapture checks every line's layout).
#include "log/log.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

// One byte per UTF-16 unit up to U+00FF, "?" above, and the log goes on after
// such a character.
TEST(Logger, WritesLinesWithQuestionMarksAboveLatin1) {
    test::LogCapture capture;
    Logger::Write(L"WARNING", L"\u0416ar caf\u00E9 \u00FF \u0100\u20AC \U0001F600");
    Logger::Write(L"ERROR", L"ends with a line feed\n");
    Logger::Write(L"INFO", L"");
    EXPECT_EQ(capture.Text(), "[WARNING] ?ar caf\xE9 \xFF ?? ??\n"
                              "[ERROR] ends with a line feed\n\n"
                              "[INFO] \n");
}
