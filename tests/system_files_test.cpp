// The required runtime files: the lists, the figures shown, and real fetches
// from the local HTTPS test server.
#include "net/net.h"
#include "net/system_files_rules.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(SystemFileRules, ListsForBothBitnesses) {
    const std::vector<std::wstring> x64 = RequiredSystemFiles(true);
    const std::vector<std::wstring> x86 = RequiredSystemFiles(false);
    EXPECT_EQ(x64, (std::vector<std::wstring>{
                       L"system64\\Crashlog-x64.dll", L"system64\\Game.exe",
                       L"system64\\EngineCore.dll", L"system64\\MediaLib.dll",
                       L"system64\\AudioMix.dll", L"system64\\GfxUtil.dll",
                       L"system64\\Presence.dll", L"system64\\NetFetch-x64.dll"}));
    EXPECT_EQ(x86, (std::vector<std::wstring>{
                       L"system32\\Crashlog.dll", L"system32\\Game.exe",
                       L"system32\\EngineCore.dll", L"system32\\MediaLib.dll",
                       L"system32\\AudioMix.dll", L"system32\\GfxUtil.dll",
                       L"system32\\Presence.dll", L"system32\\NetFetch.dll"}));
}

TEST(SystemFileRules, NamesDirectoriesAndPercentages) {
    struct Case {
        const wchar_t* entry;
        const wchar_t* name;
        const wchar_t* directory;
    } cases[] = {
        {L"system64\\Game.exe", L"Game.exe", L"system64"},
        {L"a/b\\c.dll", L"c.dll", L"a/b"},
        {L"a\\b/c.dll", L"c.dll", L"a\\b"},
        {L"plain.dll", L"plain.dll", L""},
        {L"dir\\", L"", L"dir"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayName(c.entry), c.name);
        EXPECT_EQ(DirectoryOf(c.entry), c.directory);
    }

    auto percents = [](size_t n) {
        std::vector<int> p;
        for (size_t i = 0; i < n; ++i)
            p.push_back(DownloadPercent(i, n));
        return p;
    };
    EXPECT_EQ(percents(1), std::vector<int>({90}));
    EXPECT_EQ(percents(3), std::vector<int>({36, 63, 90}));
    EXPECT_EQ(percents(8), std::vector<int>({20, 30, 40, 50, 60, 70, 80, 90}));
}
