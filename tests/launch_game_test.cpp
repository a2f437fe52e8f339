// The launch: the runtime files fetched, the game started, the quit code.
#include "app/app.h"
#include "launch/launch.h"
#include "launch/popup_look.h"
#include "net/net.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

std::vector<int> g_fills; // the popup bar's light pixels, at each probe message

LRESULT CALLBACK Probe(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP || !g_progressPopup)
        return DefWindowProcW(window, message, wParam, lParam);
    HDC dc = GetDC(g_progressPopup);
    int n = 0;
    for (int x = 0; x < kPopupWidth; ++x)
        n += GetPixel(dc, x, (kTrackTop + kTrackBottom) / 2) == kPopupLight;
    ReleaseDC(g_progressPopup, dc);
    g_fills.push_back(n);
    return 0;
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
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Probe;
    wc.lpszClassName = L"ProbeWindow";
    RegisterClassW(&wc);
    HWND probe = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
    std::atomic<bool> done{false};
    std::thread poster([&] {
        for (; !done; Sleep(50))
            PostMessageW(probe, WM_APP, 0, 0);
    });
    EXPECT_TRUE(EnsureSystemFiles());
    done = true;
    poster.join();
    DestroyWindow(probe);
    ShowProgressPopup(L"", 100);

    EXPECT_EQ(test::ReadFileBytes(L"system64\\AudioMix.dll").size(), 400000u);
    ASSERT_FALSE(g_fills.empty());
    EXPECT_TRUE(std::is_sorted(g_fills.begin(), g_fills.end()));
    g_fills.erase(std::unique(g_fills.begin(), g_fills.end()), g_fills.end());
    EXPECT_GE(g_fills.size(), 4u);
    EXPECT_LE(g_fills.front(), kTrackLength * 10 / 100);
    EXPECT_GT(g_fills.back(), kTrackLength * 50 / 100);
}

// A directory where a file is expected counts as present. A file on no server
// (the second of three missing) stops the launch: the first stays, the third
// is not tried.
TEST(LaunchGame, StartsTheGameOrSaysWhyNot) {
    const std::string launch = "[INFO] Launch system64\\Game.exe\n";
    struct Case {
        std::vector<std::wstring> missing;
        const char* game; // Game.exe's bytes; nullptr: the stand-in game
        std::wstring box; // empty: none, and quit code 0
        std::string log;  // its end: the launch's own lines
        size_t requests;
    } cases[] = {
        {{L"Presence.dll"}, nullptr, L"", "[INFO] All system files present\n" + launch, 0},
        {{L"Game.exe", L"EngineCore.dll", L"MediaLib.dll"},
         nullptr,
         L"Failed to download required file: EngineCore.dll",
         "[ERROR] Failed to download: system64\\EngineCore.dll\n"
         "[ERROR] Failed to download required files\n",
         3}, // Game.exe, EngineCore.dll twice
        {{},
         "not a program",
         L"Failed to launch the game",
         launch + "[ERROR] Failed to launch the game system64\\Game.exe\n",
         0},
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
        const bool fetchFailed = c.requests > 0, started = c.box.empty();
        EXPECT_EQ(quitCode, fetchFailed ? 1 : 0);
        // Once the game is started the popup stays until the process ends.
        EXPECT_EQ(g_progressPopup != nullptr, started);
        ShowProgressPopup(L"", 100);
        EXPECT_EQ(dialogs.Texts(), started ? std::vector<std::wstring>{} : std::vector{c.box});
        EXPECT_EQ(requests.Column(0).size(), c.requests);
        const std::string text = log.Text();
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), c.log.size())), c.log) << text;
        EXPECT_EQ(test::PathExists(L"patchlist.bat"), fetchFailed);
        const std::vector<std::string> record = test::WaitForLaunchRecord(started ? 15000 : 1000);
        EXPECT_EQ(record.size(), started ? 2u : 0u);
        if (fetchFailed) {
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
