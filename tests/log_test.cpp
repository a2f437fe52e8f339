// The log writer's bytes. LogCapture strips each line's stamp by its pattern,
// so a wrong layout fails every log comparison; updater_run_test reads the file.
#include "log/log.h"
#include "log/log_line.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

// One byte per character up to U+00FF, "?" for each UTF-16 unit above, and
// the log goes on after such a character.
TEST(Logger, WritesLinesWithQuestionMarksAboveLatin1) {
    EXPECT_EQ(LogLineBytes(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(LogLineBytes(L"\U0001F600"), "??"); // a surrogate pair is two characters
    test::LogCapture capture;
    Logger::Write(L"WARNING", L"\u0416ar caf\u00E9 \u00FF \u0100\u20AC");
    Logger::Write(L"ERROR", L"ends with a line feed\n");
    Logger::Write(L"INFO", L"");
    EXPECT_EQ(capture.Text(), "[WARNING] ?ar caf\xE9 \xFF ??\n"
                              "[ERROR] ends with a line feed\n\n"
                              "[INFO] \n");
}
