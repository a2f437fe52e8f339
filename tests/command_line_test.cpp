// The "--log" switch: an exact argument after the program's name, as
// CommandLineToArgvW splits the command line.
#include "app/app.h"

#include <gtest/gtest.h>

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
