// The launch: the runtime files checked and fetched from the local HTTPS test
// server, the game started through the shell with "startgame" in the game
// folder, patchlist.bat, and the quit code. updater_run_test fetches files
// that are missing, in a whole run.
#include "app/app.h"
#include "launch/launch.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

struct Launch {
    int quitCode = -1; // -1: no quit message posted
    std::string log;
    std::vector<std::string> targets;
    std::vector<std::wstring> dialogs;
    bool popupOpen = false;
    std::vector<std::string> record; // how the stand-in game was started
};

Launch RunLaunchGame(DWORD recordTimeoutMs = 15000) {
    test::LogCapture log;
    test::RequestLog requests;
    test::DialogWatcher watcher;
    Launch l;
    LaunchGame();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT)
            l.quitCode = static_cast<int>(msg.wParam);
    l.log = log.Text();
    l.targets = requests.Targets();
    l.dialogs = watcher.Texts();
    l.popupOpen = g_progressPopup != nullptr;
    ShowProgressPopup(L"", 100); // closes a popup left open
    l.record = test::WaitForLaunchRecord(recordTimeoutMs);
    return l;
}

std::string MirrorTarget(const char* tail) {
    const std::string base = test::Narrow(UPDATER_MIRROR_BASE_URL);
    return base.substr(base.find('/', 8)) + tail;
}

} // namespace

TEST(LaunchGame, StartsTheGameWithStartgameInTheGameFolder) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles({L"Presence.dll"});
    // A directory standing where a file is expected counts as present.
    ASSERT_TRUE(CreateDirectoryW(L"system64\\Presence.dll", nullptr));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "@echo off\r\n"));

    Launch l = RunLaunchGame();
    EXPECT_EQ(l.quitCode, 0);
    EXPECT_TRUE(l.dialogs.empty());
    EXPECT_TRUE(l.targets.empty());
    // Nothing was fetched, so the popup shows a full bar until the process ends.
    EXPECT_TRUE(l.popupOpen);
    EXPECT_FALSE(test::PathExists(L"patchlist.bat"));
    EXPECT_EQ(l.log, "[INFO] Attempting to start the game\n"
                     "[INFO] All system files present\n"
                     "[INFO] Launch system64\\Game.exe\n");
    ASSERT_EQ(l.record.size(), 2u);
    EXPECT_NE(l.record[0].find("Game.exe"), std::string::npos) << l.record[0];
    EXPECT_EQ(l.record[0].substr(l.record[0].size() - 10), " startgame") << l.record[0];
    EXPECT_EQ(_stricmp(l.record[1].c_str(), test::Narrow(dir.path()).c_str()), 0) << l.record[1];
}

// The second of three missing files is on no server: the first stays, the
// third is not tried, and the game is not started.
TEST(LaunchGame, StopsAtTheFirstFileNoServerHas) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles({L"Game.exe", L"EngineCore.dll", L"MediaLib.dll"});
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"system64/Game.exe", "game"));
    ASSERT_TRUE(test::PutSiteFile(test::Site::Server, L"system64/MediaLib.dll", "media"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "keep"));

    Launch l = RunLaunchGame(1000);
    EXPECT_EQ(l.quitCode, 1);
    EXPECT_FALSE(l.popupOpen);
    EXPECT_EQ(l.dialogs,
              std::vector<std::wstring>{L"Failed to download required file: EngineCore.dll"});
    EXPECT_EQ(test::ReadFileBytes(L"system64\\Game.exe"), "game");
    EXPECT_FALSE(test::PathExists(L"system64\\EngineCore.dll"));
    EXPECT_FALSE(test::PathExists(L"system64\\MediaLib.dll"));
    EXPECT_EQ(l.targets, (std::vector<std::string>{MirrorTarget("system64/Game.exe"),
                                                   MirrorTarget("system64/EngineCore.dll"),
                                                   "/download/client/system64/EngineCore.dll"}));
    EXPECT_EQ(test::ReadFileBytes(L"patchlist.bat"), "keep");
    const std::string last = "[ERROR] Failed to download: system64\\EngineCore.dll\n"
                             "[ERROR] Failed to download required files\n";
    EXPECT_EQ(l.log.rfind(last), l.log.size() - last.size()) << l.log;
    EXPECT_TRUE(l.record.empty());
}

TEST(LaunchGame, ShellRefusalIsReportedAndTheRunEnds) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    // Not a program: the shell cannot start it.
    ASSERT_TRUE(test::WriteFileBytes(L"system64\\Game.exe", "not a program"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "x"));

    Launch l = RunLaunchGame(0);
    EXPECT_EQ(l.quitCode, 0);
    EXPECT_EQ(l.dialogs, std::vector<std::wstring>{L"Failed to launch the game"});
    EXPECT_FALSE(test::PathExists(L"patchlist.bat"));
    EXPECT_NE(l.log.find("[INFO] Launch system64\\Game.exe\n"
                         "[ERROR] Failed to launch the game system64\\Game.exe\n"),
              std::string::npos)
        << l.log;
}
