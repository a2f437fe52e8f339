// The required runtime files: the lists, the figures shown, and real fetches
// from the local HTTPS test server.
#include "net/net.h"
#include "net/system_files_rules.h"
#include "app/app.h"
#include "support/dialog_watcher.h"
#include "support/test_server.h"
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

namespace {

struct Fetch {
    bool result;
    std::string log;
    std::vector<std::string> targets;
    std::vector<std::wstring> dialogs;
    bool popupOpen;
};

Fetch RunEnsureSystemFiles() {
    test::LogCapture log;
    test::RequestLog requests;
    test::DialogWatcher watcher;
    Fetch f;
    f.result = EnsureSystemFiles();
    f.log = log.Text();
    f.targets = requests.Targets();
    f.dialogs = watcher.Texts();
    f.popupOpen = g_progressPopup != nullptr;
    ShowProgressPopup(L"", 100); // closes a popup left open
    return f;
}

std::string MirrorTarget(const char* tail) {
    const std::string base = test::Narrow(UPDATER_MIRROR_BASE_URL);
    return base.substr(base.find('/', 8)) + tail;
}

} // namespace

TEST(EnsureSystemFiles, AllPresentAsksNobody) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles();
    // A directory standing where a file is expected counts as present.
    test::RemoveTree(L"system64\\Presence.dll");
    ASSERT_TRUE(CreateDirectoryW(L"system64\\Presence.dll", nullptr));

    Fetch f = RunEnsureSystemFiles();
    EXPECT_TRUE(f.result);
    EXPECT_EQ(f.log, "[INFO] All system files present\n");
    EXPECT_TRUE(f.targets.empty());
    EXPECT_FALSE(f.popupOpen);
    EXPECT_TRUE(f.dialogs.empty());
}

TEST(EnsureSystemFiles, FetchesWhatIsMissing) {
    const std::vector<std::wstring> all = RequiredSystemFiles(true);
    struct Case {
        const char* name;
        bool wholeDirectoryMissing;
    } cases[] = {{"one file missing", false}, {"no system64 at all", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        test::ClearSites();
        test::InstallRuntimeFiles({L"MediaLib.dll"});
        if (c.wholeDirectoryMissing)
            test::RemoveTree(L"system64");
        for (const auto& entry : all)
            ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, entry, test::Narrow(entry)));

        Fetch f = RunEnsureSystemFiles();
        EXPECT_TRUE(f.result);
        EXPECT_TRUE(f.popupOpen) << "left open at 95 for the launch to close";
        EXPECT_TRUE(f.dialogs.empty());
        EXPECT_EQ(test::ReadFileBytes(L"system64\\MediaLib.dll"), "system64\\MediaLib.dll");
        if (!c.wholeDirectoryMissing) {
            EXPECT_EQ(f.targets, std::vector<std::string>{MirrorTarget("system64/MediaLib.dll")});
            EXPECT_EQ(f.log.find("[WARNING] Missing file: system64\\MediaLib.dll\n"), 0u)
                << f.log;
            EXPECT_EQ(f.log.find("[WARNING]", 1), std::string::npos) << f.log;
            continue;
        }
        ASSERT_EQ(f.targets.size(), all.size());
        std::string warnings;
        for (size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(test::ReadFileBytes(all[i]), test::Narrow(all[i]));
            std::string tail = test::Narrow(all[i]);
            tail[8] = '/';
            EXPECT_EQ(f.targets[i], MirrorTarget(tail.c_str()));
            warnings += "[WARNING] Missing file: " + test::Narrow(all[i]) + "\n";
        }
        EXPECT_EQ(f.log.substr(0, warnings.size()), warnings);
    }
}

TEST(EnsureSystemFiles, StopsAtTheFirstFileNoServerHas) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles({L"Game.exe", L"EngineCore.dll", L"MediaLib.dll"});
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"system64/Game.exe", "game"));
    ASSERT_TRUE(test::PutSiteFile(test::Site::Server, L"system64/MediaLib.dll", "media"));

    Fetch f = RunEnsureSystemFiles();
    EXPECT_FALSE(f.result);
    EXPECT_FALSE(f.popupOpen);
    EXPECT_EQ(f.dialogs, std::vector<std::wstring>{L"Failed to download required file: "
                                                   L"EngineCore.dll"});
    EXPECT_EQ(test::ReadFileBytes(L"system64\\Game.exe"), "game"); // kept
    EXPECT_FALSE(test::PathExists(L"system64\\EngineCore.dll"));
    EXPECT_FALSE(test::PathExists(L"system64\\MediaLib.dll")); // never tried
    EXPECT_EQ(f.targets, (std::vector<std::string>{
                             MirrorTarget("system64/Game.exe"),
                             MirrorTarget("system64/EngineCore.dll"),
                             "/download/client/system64/EngineCore.dll"}));
    EXPECT_NE(f.log.find("[WARNING] Missing file: system64\\Game.exe\n"
                         "[WARNING] Missing file: system64\\EngineCore.dll\n"
                         "[WARNING] Missing file: system64\\MediaLib.dll\n"),
              std::string::npos);
    EXPECT_NE(f.log.find("[ERROR] Failed to download: system64\\EngineCore.dll\n"),
              std::string::npos);
}
