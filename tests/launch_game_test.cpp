// The launch: the runtime files fetched, the game started, the quit code.
#include "app/app.h"
#include "launch/launch.h"
#include "net/net.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// LaunchGame's quit code; -1 when it posted none.
int LaunchAndQuitCode() {
    LaunchGame();
    int code = -1;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        code = msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : code;
    return code;
}

// Per probe message: its wait, and the light pixels along the popup's track.
DWORD g_slowestAnswer = 0;
std::vector<int> g_fills;

LRESULT CALLBACK Probe(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP)
        return DefWindowProcW(window, message, wParam, lParam);
    g_slowestAnswer = std::max(g_slowestAnswer, GetTickCount() - static_cast<DWORD>(lParam));
    if (g_progressPopup) {
        HDC dc = GetDC(g_progressPopup);
        int n = 0;
        for (int x = 60; x < 300; ++x)
            n += GetPixel(dc, x, 87) == RGB(0xFA, 0xFA, 0xFA);
        ReleaseDC(g_progressPopup, dc);
        g_fills.push_back(n);
    }
    return 0;
}

} // namespace

// While a file comes slowly the bar grows with its bytes and the thread answers.
TEST(LaunchGame, ThePopupFollowsTheBytesAndItsThreadAnswers) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles({L"AudioMix.dll"});
    ASSERT_TRUE(
        test::PutSiteFile(test::Site::Mirror, L"system64/AudioMix.dll", std::string(400000, 'a')));
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"system64/AudioMix.dll.serve",
                                  "chunk=20000&delay=0.1"));
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Probe;
    wc.lpszClassName = L"ProbeWindow";
    RegisterClassW(&wc);
    HWND probe = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(probe, nullptr);
    std::atomic<bool> done{false};
    std::thread poster([&] {
        for (; !done; Sleep(50))
            PostMessageW(probe, WM_APP, 0, static_cast<LPARAM>(GetTickCount()));
    });
    EXPECT_TRUE(EnsureSystemFiles());
    done = true;
    poster.join();
    DestroyWindow(probe);
    ShowProgressPopup(L"", 100);

    EXPECT_EQ(test::ReadFileBytes(L"system64\\AudioMix.dll").size(), 400000u);
    EXPECT_LT(g_slowestAnswer, 200u);
    // From 10 % (20 pixels, less the outline) towards 90 %, never back.
    ASSERT_FALSE(g_fills.empty());
    EXPECT_TRUE(std::is_sorted(g_fills.begin(), g_fills.end()));
    g_fills.erase(std::unique(g_fills.begin(), g_fills.end()), g_fills.end());
    EXPECT_GE(g_fills.size(), 4u);
    EXPECT_LE(g_fills.front(), 20);
    EXPECT_GT(g_fills.back(), 100);
}

// A directory where a file is expected counts as present. A file on no server
// (the second of three missing) stops the launch: the first stays, the third
// is not tried.
TEST(LaunchGame, StartsTheGameOrSaysWhyNot) {
    struct Case {
        std::vector<std::wstring> missing;
        const char* game; // Game.exe's bytes; nullptr: the stand-in game
        int quitCode;
        std::vector<std::wstring> boxes;
        std::string log; // its end: the launch's own lines
        size_t requests;
    } cases[] = {
        {{L"Presence.dll"},
         nullptr,
         0,
         {},
         "[INFO] Attempting to start the game\n[INFO] All system files present\n"
         "[INFO] Launch system64\\Game.exe\n",
         0},
        {{L"Game.exe", L"EngineCore.dll", L"MediaLib.dll"},
         nullptr,
         1,
         {L"Failed to download required file: EngineCore.dll"},
         "[ERROR] Failed to download: system64\\EngineCore.dll\n"
         "[ERROR] Failed to download required files\n",
         3}, // Game.exe, EngineCore.dll twice
        {{},
         "not a program",
         0,
         {L"Failed to launch the game"},
         "[INFO] Launch system64\\Game.exe\n[ERROR] Failed to launch the game system64\\Game.exe\n",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log);
        test::ScopedWorkDir dir;
        test::ClearSites();
        test::InstallRuntimeFiles(c.missing);
        ASSERT_TRUE(c.missing.size() != 1 || CreateDirectoryW(L"system64\\Presence.dll", nullptr));
        ASSERT_TRUE(!c.game || test::WriteFileBytes(L"system64\\Game.exe", c.game));
        ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"system64/Game.exe", "game"));
        ASSERT_TRUE(test::PutSiteFile(test::Site::Server, L"system64/MediaLib.dll", "media"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "@echo off\r\n"));
        test::LogCapture log;
        test::RequestLog requests;
        test::DialogWatcher dialogs;

        EXPECT_EQ(LaunchAndQuitCode(), c.quitCode);
        // Once the game is started the popup stays until the process ends.
        const bool started = c.quitCode == 0 && !c.game;
        EXPECT_EQ(g_progressPopup != nullptr, started);
        ShowProgressPopup(L"", 100);
        EXPECT_EQ(dialogs.Texts(), c.boxes);
        EXPECT_EQ(requests.Lines().size(), c.requests);
        const std::string text = log.Text();
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), c.log.size())), c.log) << text;
        EXPECT_EQ(test::PathExists(L"patchlist.bat"), c.quitCode != 0);
        const std::vector<std::string> record = test::WaitForLaunchRecord(started ? 15000 : 1000);
        if (c.quitCode) {
            EXPECT_TRUE(record.empty());
            EXPECT_EQ(test::ReadFileBytes(L"system64\\Game.exe"), "game");
            EXPECT_FALSE(test::PathExists(L"system64\\EngineCore.dll") ||
                         test::PathExists(L"system64\\MediaLib.dll"));
        } else if (!c.game) {
            ASSERT_EQ(record.size(), 2u);
            EXPECT_NE(record[0].find("Game.exe"), std::string::npos) << record[0];
            EXPECT_EQ(record[0].substr(record[0].size() - 10), " startgame") << record[0];
            EXPECT_EQ(_stricmp(record[1].c_str(), test::Narrow(dir.path()).c_str()), 0);
        }
    }
}
