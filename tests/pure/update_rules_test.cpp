// The run's choices: the command line, the progress arithmetic, the lock's
// name, and the bitness for the systems no test machine has.
#include "app/update_rules.h"
#include "launch/architecture_rules.h"

#include <gtest/gtest.h>

// "update" anywhere, case-sensitively, selects the update run.
TEST(UpdateRules, CommandLine) {
    for (const wchar_t* line : {L"update", L"autoupdate", L"x update y --log"})
        EXPECT_TRUE(IsUpdateCommandLine(line)) << testing::PrintToString(std::wstring(line));
    for (const wchar_t* line : {L"Update", L"UPDATE", L"", L"upd ate", L"--log"})
        EXPECT_FALSE(IsUpdateCommandLine(line)) << testing::PrintToString(std::wstring(line));
    EXPECT_FALSE(IsUpdateCommandLine(nullptr));
}

// Single precision: 53 and 59 of 100 fall short.
TEST(UpdateRules, ProgressPositions) {
    for (size_t k = 1; k <= 100; ++k)
        EXPECT_EQ(ProgressPosition(k, 100), k == 53 || k == 59 ? int(k) - 1 : int(k)) << k;
    EXPECT_EQ(ProgressPosition(1, 200), 0);
    for (size_t k = 2; k <= 200; ++k)
        EXPECT_LE(ProgressPosition(k - 1, 200), ProgressPosition(k, 200)) << k;
    EXPECT_EQ(ProgressPosition(200, 200), 100);
}

// One name per folder: short, valid and in the session's namespace whatever
// the path; a trailing backslash names the same folder.
TEST(UpdateRules, InstallationLockName) {
    const std::wstring game = InstallationLockName(L"C:\\GAMES\\VELMORA");
    const std::wstring longPath = L"\\\\?\\C:\\" + std::wstring(32000, L'A');
    for (const std::wstring& name : {game, InstallationLockName(longPath),
                                     InstallationLockName(L""), InstallationLockName(L"Ä:\\Ω")}) {
        EXPECT_EQ(name.compare(0, 6, L"Local\\"), 0);
        EXPECT_EQ(name.find_first_not_of(
                      L"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-", 6),
                  std::wstring::npos);
        EXPECT_EQ(name.size(), game.size());
    }
    EXPECT_EQ(InstallationLockName(L"C:\\GAMES\\VELMORA\\"), game);
    for (const wchar_t* other : {L"C:\\GAMES\\VELMORA2", L"C:\\GAMES\\VELMOR",
                                 L"D:\\GAMES\\VELMORA", L"C:\\GAMES\\VELMORA\\SYSTEM64"})
        EXPECT_NE(InstallationLockName(other), game) << testing::PrintToString(std::wstring(other));
}

TEST(Architecture, DecisionTable) {
    const unsigned short kIntel = 0, kIa64 = 6, kArm64 = 12;             // PROCESSOR_ARCHITECTURE_*
    const std::int32_t kFailed = static_cast<std::int32_t>(0x80004005u); // E_FAIL
    struct Case {
        unsigned short architecture;
        GuestX64Answer guest; // export found, status, x86-64 guest supported
        bool expected;
    } cases[] = {
        {kArchitectureAmd64, {true, kFailed, false}, true},
        {kIntel, {true, 0, false}, false},
        {kArm64, {true, 1, true}, true}, // emulates x86-64
        {kArm64, {true, 0, false}, false},
        {kArm64, {false, 0, true}, false},
        {kArm64, {true, kFailed, true}, false},
        {kIa64, {false, 0, false}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecideNative64Bit(c.architecture, c.guest), c.expected) << "case " << &c - cases;
}
