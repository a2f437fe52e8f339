// The command-line choices and the progress arithmetic of the update run.
#include "app/app.h"
#include "app/update_rules.h"

#include <gtest/gtest.h>

TEST(UpdateRules, UpdateKeywordIsACaseSensitiveSubstring) {
    struct Case {
        const wchar_t* line;
        bool update;
    } cases[] = {
        {L"update", true},     {L"-update", true}, {L"autoupdate", true},
        {L"updater", true},    {L"x update y", true}, {L"Update", false},
        {L"UPDATE", false},    {L"", false},       {L"upd ate", false},
        {L"--log", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsUpdateCommandLine(c.line), c.update) << ::testing::PrintToString(std::wstring(c.line));
    EXPECT_FALSE(IsUpdateCommandLine(nullptr));
}

TEST(UpdateRules, ProgressPositionsUseSinglePrecision) {
    auto positions = [](size_t n) {
        std::vector<int> p;
        for (size_t k = 1; k <= n; ++k)
            p.push_back(ProgressPosition(k, n));
        return p;
    };
    EXPECT_EQ(positions(1), std::vector<int>({100}));
    EXPECT_EQ(positions(3), std::vector<int>({33, 66, 100}));
    EXPECT_EQ(positions(7), std::vector<int>({14, 28, 42, 57, 71, 85, 100}));

    auto hundred = positions(100);
    for (size_t k = 1; k <= 100; ++k) {
        int expected = k == 53 ? 52 : k == 59 ? 58 : static_cast<int>(k);
        EXPECT_EQ(hundred[k - 1], expected) << "entry " << k;
    }

    auto twoHundred = positions(200);
    EXPECT_EQ(twoHundred[0], 0);
    EXPECT_EQ(twoHundred[1], 1);
    EXPECT_EQ(twoHundred[199], 100);
    for (size_t k = 1; k < twoHundred.size(); ++k)
        EXPECT_LE(twoHundred[k - 1], twoHundred[k]);
}

TEST(UpdateRules, LogSwitchIsAnExactArgument) {
    struct Case {
        const wchar_t* line;
        bool log;
    } cases[] = {
        {L"updater.exe --log", true},
        {L"updater.exe update --log", true},
        {L"\"C:\\games\\velmora\\updater.exe\" --log update", true},
        {L"updater.exe \"--log\"", true},
        {L"updater.exe", false},
        {L"--log", false}, // the program's own name never counts
        {L"updater.exe --logging", false},
        {L"updater.exe -log", false},
        {L"updater.exe --LOG", false},
        {L"updater.exe update--log", false},
        {L"updater.exe \"--log update\"", false},
        {L"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasLogSwitch(c.line), c.log) << ::testing::PrintToString(std::wstring(c.line));
}

TEST(UpdateRules, PathLiesInsideTheFolderOnly) {
    struct Case {
        const wchar_t* path;
        const wchar_t* directory;
        bool inside;
    } cases[] = {
        {L"C:\\GAME\\GAME.EXE", L"C:\\GAME", true},
        {L"C:\\GAME\\SYSTEM64\\GAME.EXE", L"C:\\GAME\\", true},
        {L"C:\\GAMEX\\GAME.EXE", L"C:\\GAME", false}, // a longer sibling name
        {L"C:\\GAME", L"C:\\GAME", false},
        {L"C:\\GAME.EXE", L"C:\\", true}, // a drive's root as working directory
        {L"D:\\GAME\\GAME.EXE", L"C:\\GAME", false},
        {L"C:\\GAME.EXE", L"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PathLiesInside(c.path, c.directory), c.inside)
            << testing::PrintToString(std::wstring(c.path)) << " in "
            << testing::PrintToString(std::wstring(c.directory));
}
