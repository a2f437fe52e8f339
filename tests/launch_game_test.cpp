// The launch: the runtime files fetched, the game started, the quit code.
#include "app/app.h"
#include "launch/launch.h"
#include "launch/popup_look.h"
#include "net/net.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::vector<int> g_fills; // the popup bar's light pixels, at each timer the thread handled

void CALLBACK Probe(HWND, UINT, UINT_PTR, DWORD) {
    if (!g_progressPopup)
        return;
    HDC dc = GetDC(g_progressPopup);
    int n = 0;
    for (int x = 0; x < kPopupWidth; ++x)
        n += GetPixel(dc, x, (kTrackTop + kTrackBottom) / 2) == kPopupLight;
    ReleaseDC(g_progressPopup, dc);
    g_fills.push_back(n);
}

} // namespace

// While a file comes slowly the thread answers, and the bar grows with the
// bytes from the file's step's start (10 %) towards its end (90 %), never back.
TEST(LaunchGame, ThePopupFollowsTheBytesAndItsThreadAnswers) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles({L"AudioMix.dll"});
    ASSERT_TRUE(test::PutSiteFile(L"mirror/system64/AudioMix.dll", std::string(400000, 'a')));
    ASSERT_TRUE(test::PutSiteFile(L"mirror/system64/AudioMix.dll.serve", "chunk=20000&delay=0.1"));
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, Probe);
    EXPECT_TRUE(EnsureSystemFiles());
    KillTimer(nullptr, timer);
    ShowProgressPopup(L"", 100);

    EXPECT_EQ(test::ReadFileBytes(L"system64\\AudioMix.dll").size(), 400000u);
    EXPECT_TRUE(std::is_sorted(g_fills.begin(), g_fills.end()));
    g_fills.erase(std::unique(g_fills.begin(), g_fills.end()), g_fills.end());
    ASSERT_GE(g_fills.size(), 4u);
    EXPECT_LE(g_fills.front(), kTrackLength * 10 / 100);
    EXPECT_GT(g_fills.back(), kTrackLength * 50 / 100);
}

// What a crash or a power cut most often leaves: a runtime file of no bytes,
// fetched again.
TEST(LaunchGame, ARuntimeFileOfNoBytesIsFetchedAgain) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles();
    ASSERT_TRUE(test::WriteFileBytes(L"system64\\MediaLib.dll", "") &&
                test::PutSiteFile(L"mirror/system64/MediaLib.dll", "media"));
    EXPECT_TRUE(EnsureSystemFiles());
    ShowProgressPopup(L"", 100);
    EXPECT_EQ(test::ReadFileBytes(L"system64\\MediaLib.dll"), "media");
}

// A directory where a file is expected counts as present. A file on no server
// (the second of three missing) stops the launch: the first stays, the third
// is not tried (Game.exe's request, EngineCore.dll's two). Once the game is
// started the popup stays until the process ends.
TEST(LaunchGame, StartsTheGameOrSaysWhyNot) {
    const std::string launch = "[INFO] Launch system64\\Game.exe\n",
                      missing = "The game's servers do not have this file. Please tell the "
                                "game's support.";
    struct Case {
        std::vector<std::wstring> missing;
        const char* game;    // Game.exe's bytes; nullptr: the stand-in game
        std::string outcome; // quit code, popup (the game started), requests,
                             // patchlist.bat, game's record, box
        std::string log;     // its end: the launch's own lines
    } cases[] = {
        {{L"Presence.dll"}, nullptr, "0 1 0 0 2 ", "[INFO] All system files present\n" + launch},
        {{L"Game.exe", L"EngineCore.dll", L"MediaLib.dll"},
         nullptr,
         "1 0 3 1 0 Failed to download required file: EngineCore.dll\n\n" + missing,
         "[ERROR] Failed to download: system64\\EngineCore.dll\n[ERROR] Told the player: " +
             missing + "\n[ERROR] Failed to download required files\n"},
        {{},
         "not a program",
         "0 0 0 0 0 Failed to launch the game",
         launch + "[ERROR] Failed to launch the game system64\\Game.exe\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log);
        test::ScopedWorkDir dir;
        test::ClearSites();
        test::InstallRuntimeFiles(c.missing);
        ASSERT_TRUE(c.missing.size() != 1 || CreateDirectoryW(L"system64\\Presence.dll", nullptr));
        ASSERT_TRUE(!c.game || test::WriteFileBytes(L"system64\\Game.exe", c.game));
        ASSERT_TRUE(test::PutSiteFile(L"mirror/system64/Game.exe", "game"));
        ASSERT_TRUE(test::PutSiteFile(L"server/system64/MediaLib.dll", "media"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "@echo off\r\n"));
        test::LogCapture log;
        test::RequestLog requests;
        test::DialogWatcher dialogs;

        LaunchGame();
        int quitCode = -1;
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)
            quitCode = msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : quitCode;
        const bool popup = g_progressPopup != nullptr;
        ShowProgressPopup(L"", 100);
        const bool started = c.outcome[2] == '1';
        const auto record = test::WaitForLaunchRecord(started ? 15000 : 1000);
        std::wstring boxes;
        for (const std::wstring& box : dialogs.Texts())
            boxes += box;
        EXPECT_EQ(std::to_string(quitCode) + " " + std::to_string(popup) + " " +
                      std::to_string(requests.Column(0).size()) + " " +
                      std::to_string(test::PathExists(L"patchlist.bat")) + " " +
                      std::to_string(record.size()) + " " + test::Narrow(boxes),
                  c.outcome);
        const std::string text = log.Text();
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), c.log.size())), c.log) << text;
        if (c.game == nullptr && !started) {
            EXPECT_EQ(test::ReadFileBytes(L"system64\\Game.exe"), "game");
            EXPECT_FALSE(test::PathExists(L"system64\\EngineCore.dll") ||
                         test::PathExists(L"system64\\MediaLib.dll"));
        } else if (started && record.size() == 2) {
            EXPECT_NE(record[0].find("Game.exe"), std::string::npos) << record[0];
            EXPECT_EQ(record[0].substr(record[0].size() - 10), " startgame") << record[0];
            EXPECT_EQ(_stricmp(record[1].c_str(), test::Narrow(dir.path()).c_str()), 0);
        }
    }
}
