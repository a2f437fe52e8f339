// The launch: runtime files, the game started through the shell with
// "startgame" in the game folder, patchlist.bat, and the quit code.
#include "app/app.h"
#include "launch/launch.h"
#include "support/dialog_watcher.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

struct Launch {
    int quitCode = -1; // -1: no quit message posted
    std::string log;
    std::vector<std::wstring> dialogs;
    bool popupOpen = false;
};

Launch RunLaunchGame() {
    test::LogCapture log;
    test::DialogWatcher watcher;
    Launch l;
    LaunchGame();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT)
            l.quitCode = static_cast<int>(msg.wParam);
    l.log = log.Text();
    l.dialogs = watcher.Texts();
    l.popupOpen = g_progressPopup != nullptr;
    ShowProgressPopup(L"", 100);
    return l;
}

} // namespace

TEST(LaunchGame, StartsTheGameWithStartgameInTheGameFolder) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "@echo off\r\n"));

    Launch l = RunLaunchGame();
    EXPECT_EQ(l.quitCode, 0);
    EXPECT_TRUE(l.dialogs.empty());
    // Nothing was fetched, so the popup shows a full bar until the process ends.
    EXPECT_TRUE(l.popupOpen);
    EXPECT_FALSE(test::PathExists(L"patchlist.bat"));
    EXPECT_EQ(l.log, "[INFO] Attempting to start the game\n"
                     "[INFO] All system files present\n"
                     "[INFO] Launch system64\\Game.exe\n");

    std::vector<std::string> record = test::WaitForLaunchRecord();
    ASSERT_EQ(record.size(), 2u);
    const std::string& commandLine = record[0];
    EXPECT_NE(commandLine.find("Game.exe"), std::string::npos) << commandLine;
    EXPECT_EQ(commandLine.substr(commandLine.size() - 10), " startgame") << commandLine;
    EXPECT_EQ(_stricmp(record[1].c_str(), test::Narrow(dir.path()).c_str()), 0) << record[1];
}

TEST(LaunchGame, FetchesMissingFilesThenClosesThePopup) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles({L"GfxUtil.dll"});
    ASSERT_TRUE(test::PutSiteFile(test::Site::Server, L"system64/GfxUtil.dll", "gfx"));

    Launch l = RunLaunchGame();
    EXPECT_EQ(l.quitCode, 0);
    EXPECT_FALSE(l.popupOpen) << "the popup of the fetch is closed before the start";
    EXPECT_EQ(test::ReadFileBytes(L"system64\\GfxUtil.dll"), "gfx");
    EXPECT_EQ(test::WaitForLaunchRecord().size(), 2u);
}

TEST(LaunchGame, MissingFilesThatCannotBeFetchedStopTheLaunch) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles({L"Presence.dll"});
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "keep"));

    Launch l = RunLaunchGame();
    EXPECT_EQ(l.quitCode, 1);
    EXPECT_EQ(l.dialogs,
              std::vector<std::wstring>{L"Failed to download required file: Presence.dll"});
    EXPECT_TRUE(test::FileExists(L"patchlist.bat"));
    EXPECT_EQ(l.log.rfind("[ERROR] Failed to download required files\n"),
              l.log.size() - 42);
    EXPECT_TRUE(test::WaitForLaunchRecord(1000).empty()) << "the game was not started";
}

TEST(LaunchGame, ShellRefusalIsReportedAndTheRunEnds) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    // Not a program: the shell cannot start it.
    ASSERT_TRUE(test::WriteFileBytes(L"system64\\Game.exe", "not a program"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "x"));

    Launch l = RunLaunchGame();
    EXPECT_EQ(l.quitCode, 0);
    EXPECT_EQ(l.dialogs, std::vector<std::wstring>{L"Failed to launch the game"});
    EXPECT_FALSE(test::PathExists(L"patchlist.bat"));
    EXPECT_NE(l.log.find("[INFO] Launch system64\\Game.exe\n"
                         "[ERROR] Failed to launch the game system64\\Game.exe\n"),
              std::string::npos)
        << l.log;
}
