// The log writer's bytes on disk (LogCapture checks every line's layout), and
// the "--log" switch: an exact argument after the program's name, as
// CommandLineToArgvW splits the command line.
#include "app/app.h"
#include "log/log.h"
#include "log/log_line.h"
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
    // The last time the C runtime gives, a leap second, and a long message.
    const std::tm last = {60, 59, 23, 31, 11, 1100, 0, 0, 0};
    EXPECT_EQ(LogLineBytes(FormatLogLine(L"INFO", std::wstring(5000, L'\u0416') + L"!", last)),
              "[INFO] 3000-12-31 23:59:60 - " + std::string(5000, '?') + "!");
}

TEST(CommandLine, LogSwitch) {
    for (const wchar_t* line :
         {L"updater.exe --log", L"updater.exe update --log",
          L"\"C:\\games\\velmora\\updater.exe\" --log update", L"updater.exe \"--log\""})
        EXPECT_TRUE(HasLogSwitch(line)) << testing::PrintToString(std::wstring(line));
    for (const wchar_t* line :
         {L"updater.exe", L"--log" /* the program's own name */, L"updater.exe --logging",
          L"updater.exe --LOG", L"updater.exe update--log", L"updater.exe \"--log update\"", L""})
        EXPECT_FALSE(HasLogSwitch(line)) << testing::PrintToString(std::wstring(line));
}
