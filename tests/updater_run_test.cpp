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

// A second copy started while the first fetches a runtime file slowly (and so
// holds the lock): a launch run leaves at once without touching anything, an
// update run waits for a launch run and then applies everything. (The 32-bit
// suite starts two launch runs.)
TEST(UpdaterRun, OneCopyAtATimeInAFolder) {
    const std::string engine(256 * 1024, 'e');
    for (const bool updateFirst : {false, true}) {
        SCOPED_TRACE(updateFirst ? "update run first" : "launch run first");
        const wchar_t *first = updateFirst ? L"update --log" : L"--log",
                      *second = updateFirst ? L"--log" : L"update --log";
        test::ScopedWorkDir dir;
        test::ClearSites();
        ASSERT_TRUE(test::PutSiteFile(L"mirror/system64/EngineCore.dll", engine));
        ASSERT_TRUE(test::PutSiteFile(L"mirror/system64/EngineCore.dll.serve",
                                      "chunk=16384&delay=0.1")); // 1.6 s
        test::InstallRuntimeFiles({L"EngineCore.dll"});
        ASSERT_TRUE(test::WriteFileBytes(L"download\\data\\a.map", "new map"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "data\\a.map\r\n"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "x"));
        test::RequestLog requests;
        HANDLE processes[] = {test::StartProcess(test::Updater(), first), nullptr};
        ASSERT_TRUE(processes[0]);
        EXPECT_GE(test::WaitForPath(L"system64\\EngineCore.dll.part", true, 20000), 0);
        processes[1] = test::StartProcess(test::Updater(), second);
        ASSERT_TRUE(processes[1]);
        if (updateFirst) {
            EXPECT_EQ(WaitForSingleObject(processes[1], 20000), WAIT_OBJECT_0);
            EXPECT_EQ(WaitForSingleObject(processes[0], 0), WAIT_TIMEOUT) << "the second waited";
            EXPECT_TRUE(test::PathExists(L"patchlist.bat")) << "the second copy launched";
        }
        for (HANDLE process : processes) {
            EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
            CloseHandle(process);
        }
        EXPECT_TRUE(test::ReadFileBytes(L"system64\\EngineCore.dll") == engine);
        EXPECT_FALSE(test::PathExists(L"system64\\EngineCore.dll.part"));
        EXPECT_EQ(requests.Column(0).size(), 1u);
        EXPECT_EQ(test::ReadFileBytes(L"data\\a.map"), "new map");
        EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
        const std::string log = test::ReadFileBytes(L"velmora.log");
        EXPECT_EQ(test::CountOf(log, " - Another updater is running in this folder\r\n"),
                  updateFirst ? 1u : 0u)
            << log;
        // A waiting update run moves its files only after the launch run's
        // download has ended.
        EXPECT_TRUE(updateFirst ||
                    log.find(" - Download successful") < log.find(" - Source Path: "))
            << log;
        const size_t starts = updateFirst ? 1 : 2;
        EXPECT_EQ(test::CountOf(log, " - Launch system64\\Game.exe\r\n"), starts) << log;
        // An update run ends the game's running copies first, so the game a
        // launch run has just started may be gone before it writes its record.
        for (DWORD waited = 0; waited < 15000 && test::WaitForLaunchRecord(0).size() < 2 * starts;
             waited += 100)
            Sleep(100);
        Sleep(300); // a third start would show by now
        const size_t recorded = test::WaitForLaunchRecord(0).size();
        EXPECT_TRUE(recorded >= 2 && recorded <= 2 * starts) << recorded;
    }
}
