// Whole runs of the built updater.exe in a throw-away game folder.
#include "support/test_support.h"

#include <gtest/gtest.h>

// During a long walk the update window answers messages, and its close box
// stops neither the walk nor the launch. The answer must come while the walk
// goes on (its last file not yet placed), however long the machine takes:
// a walk that does not pump messages answers only once it has ended.
TEST(UpdaterRun, TheCloseBoxDuringTheWalkLosesNothing) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    std::string list;
    for (int i = 0; i < 3000; ++i) {
        list += "data\\f" + std::to_string(i) + ".txt\r\n";
        ASSERT_TRUE(
            test::WriteFileBytes(L"download\\data\\f" + std::to_wstring(i) + L".txt", "new"));
    }
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", list));
    HANDLE process = test::StartProcess(test::Updater(), L"update");
    HWND window = nullptr;
    for (int i = 0; i < 2000 && process && !window; ++i, Sleep(5))
        window = FindWindowW(L"UpdateWindowClass", L"Velmora Online update");
    ASSERT_NE(window, nullptr);
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer), 0);
    EXPECT_FALSE(test::PathExists(L"data\\f2999.txt")) << "answered only after the walk";
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
    CloseHandle(process);
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(test::ReadFileBytes(L"data\\f" + std::to_wstring(i) + L".txt"), "new") << i;
    EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
    EXPECT_EQ(test::WaitForLaunchRecord().size(), 2u);
}

// An update run started while a launch run fetches a runtime file slowly (and
// so holds the lock) waits for it, then applies everything; the game starts
// twice. (The 32-bit suite starts two launch runs: one leaves at once.)
TEST(UpdaterRun, AnUpdateRunWaitsForALaunchRun) {
    const std::string engine(256 * 1024, 'e');
    test::ScopedWorkDir dir;
    test::ClearSites();
    ASSERT_TRUE(test::PutSiteFile(L"mirror/system64/EngineCore.dll", engine));
    ASSERT_TRUE(test::PutSiteFile(L"mirror/system64/EngineCore.dll.serve",
                                  "chunk=16384&delay=0.1")); // 1.6 s
    test::InstallRuntimeFiles({L"EngineCore.dll"});
    ASSERT_TRUE(test::WriteFileBytes(L"download\\data\\a.map", "new map"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "data\\a.map\r\n"));
    test::RequestLog requests;
    HANDLE launch = test::StartProcess(test::Updater(), L"--log");
    EXPECT_GE(test::WaitForPath(L"system64\\EngineCore.dll.part", true, 20000), 0);
    HANDLE update = test::StartProcess(test::Updater(), L"update --log");
    for (HANDLE process : {launch, update}) {
        EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
        CloseHandle(process);
    }
    EXPECT_TRUE(test::ReadFileBytes(L"system64\\EngineCore.dll") == engine);
    EXPECT_EQ(requests.Column(0).size(), 1u);
    EXPECT_EQ(test::ReadFileBytes(L"data\\a.map"), "new map");
    EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
    const std::string log = test::ReadFileBytes(L"velmora.log");
    EXPECT_LT(log.find(" - Download successful"), log.find(" - Source Path: ")) << log;
    EXPECT_EQ(test::CountOf(log, " - Launch system64\\Game.exe\r\n"), 2u) << log;
}
