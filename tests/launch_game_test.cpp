// The launch: the runtime files checked and fetched (updater_run_test fetches
// them in a whole run), the game started through the shell with "startgame" in
// the game folder, patchlist.bat, and the quit code.
#include "app/app.h"
#include "launch/launch.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include "net/net.h"

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

// Light pixels of the popup's fill, counted along the middle of its track.
int FillWidth() {
    HDC dc = GetDC(g_progressPopup);
    int n = 0;
    for (int x = 60; x < 300; ++x)
        n += GetPixel(dc, x, 87) == RGB(0xFA, 0xFA, 0xFA);
    ReleaseDC(g_progressPopup, dc);
    return n;
}

// Records, for each probe message, how long it waited and what the popup
// showed when it was answered.
DWORD g_slowestAnswer = 0;
std::vector<int> g_fills;

LRESULT CALLBACK Probe(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP)
        return DefWindowProcW(window, message, wParam, lParam);
    g_slowestAnswer = std::max(g_slowestAnswer, GetTickCount() - static_cast<DWORD>(lParam));
    if (g_progressPopup)
        g_fills.push_back(FillWidth());
    return 0;
}

} // namespace

// While a file comes slowly, the bar grows through the file's step with the
// bytes, and the thread's windows answer a message within 200 ms.
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
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ProbeWindow";
    RegisterClassW(&wc);
    HWND probe = CreateWindowExW(0, L"ProbeWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
    ASSERT_NE(probe, nullptr);
    std::atomic<bool> done{false};
    std::thread poster([&] {
        while (!done) {
            PostMessageW(probe, WM_APP, 0, static_cast<LPARAM>(GetTickCount()));
            Sleep(50);
        }
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
    std::vector<int> distinct = g_fills;
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    EXPECT_GE(distinct.size(), 4u);
    EXPECT_LE(distinct.front(), 20);
    EXPECT_GT(distinct.back(), 100);
}

TEST(LaunchGame, StartsTheGameWithStartgameInTheGameFolder) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles({L"Presence.dll"});
    // A directory standing where a file is expected counts as present.
    ASSERT_TRUE(CreateDirectoryW(L"system64\\Presence.dll", nullptr));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "@echo off\r\n"));
    test::LogCapture log;
    test::RequestLog requests;
    test::DialogWatcher dialogs;

    EXPECT_EQ(LaunchAndQuitCode(), 0);
    EXPECT_TRUE(dialogs.Texts().empty());
    EXPECT_TRUE(requests.Lines().empty());
    // Nothing was fetched, so the popup shows a full bar until the process ends.
    EXPECT_NE(g_progressPopup, nullptr);
    ShowProgressPopup(L"", 100);
    EXPECT_FALSE(test::PathExists(L"patchlist.bat"));
    EXPECT_EQ(log.Text(), "[INFO] Attempting to start the game\n"
                          "[INFO] All system files present\n"
                          "[INFO] Launch system64\\Game.exe\n");
    std::vector<std::string> record = test::WaitForLaunchRecord();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_NE(record[0].find("Game.exe"), std::string::npos) << record[0];
    EXPECT_EQ(record[0].substr(record[0].size() - 10), " startgame") << record[0];
    EXPECT_EQ(_stricmp(record[1].c_str(), test::Narrow(dir.path()).c_str()), 0) << record[1];
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
    test::LogCapture log;
    test::RequestLog requests;
    test::DialogWatcher dialogs;

    EXPECT_EQ(LaunchAndQuitCode(), 1);
    EXPECT_EQ(g_progressPopup, nullptr);
    EXPECT_EQ(dialogs.Texts(),
              std::vector<std::wstring>{L"Failed to download required file: EngineCore.dll"});
    EXPECT_EQ(test::ReadFileBytes(L"system64\\Game.exe"), "game");
    EXPECT_FALSE(test::PathExists(L"system64\\EngineCore.dll"));
    EXPECT_FALSE(test::PathExists(L"system64\\MediaLib.dll"));
    EXPECT_EQ(requests.Lines().size(), 3u); // Game.exe, then EngineCore.dll from both
    EXPECT_EQ(test::ReadFileBytes(L"patchlist.bat"), "keep");
    const std::string last = "[ERROR] Failed to download: system64\\EngineCore.dll\n"
                             "[ERROR] Failed to download required files\n";
    EXPECT_EQ(log.Text().rfind(last), log.Text().size() - last.size()) << log.Text();
    EXPECT_TRUE(test::WaitForLaunchRecord(1000).empty());
}

TEST(LaunchGame, ShellRefusalIsReportedAndTheRunEnds) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    // Not a program: the shell cannot start it.
    ASSERT_TRUE(test::WriteFileBytes(L"system64\\Game.exe", "not a program"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "x"));
    test::LogCapture log;
    test::DialogWatcher dialogs;

    EXPECT_EQ(LaunchAndQuitCode(), 0);
    ShowProgressPopup(L"", 100);
    EXPECT_EQ(dialogs.Texts(), std::vector<std::wstring>{L"Failed to launch the game"});
    EXPECT_FALSE(test::PathExists(L"patchlist.bat"));
    EXPECT_NE(log.Text().find("[INFO] Launch system64\\Game.exe\n"
                              "[ERROR] Failed to launch the game system64\\Game.exe\n"),
              std::string::npos)
        << log.Text();
}
