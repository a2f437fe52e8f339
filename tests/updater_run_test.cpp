// Whole runs of the built updater.exe in a throw-away game folder.
#include "net/net.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

// An update run places the downloaded files, deletes the list, fetches every
// runtime file (one only the main server has) into a new system64 and starts
// the game, with no log file. A launch run with --log leaves the list alone
// and logs in CR LF lines.
TEST(UpdaterRun, WholeCycleThenALoggedLaunchRun) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    for (const std::wstring& entry : RequiredSystemFiles(true)) {
        std::string bytes = test::Narrow(entry);
        if (entry == L"system64\\Game.exe")
            bytes = test::ReadFileBytes(test::HelperPath(L"fake_game"));
        ASSERT_TRUE(test::PutSiteFile(entry == L"system64\\AudioMix.dll" ? test::Site::Server
                                                                         : test::Site::Mirror,
                                      entry, bytes));
    }
    ASSERT_TRUE(test::WriteFileBytes(L"download\\data\\maps\\a.map", "new map"));
    ASSERT_TRUE(test::WriteFileBytes(L"download\\readme.txt", "new readme"));
    ASSERT_TRUE(test::WriteFileBytes(L"readme.txt", "old readme"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "\"data\\maps\\a.map\"\r\nreadme.txt\r\n"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "@echo off\r\n"));
    const std::wstring updater = test::BuildDir() + L"\\updater.exe";

    test::ProcessResult r = test::RunProcess(updater, L"update", L".");
    EXPECT_TRUE(r.finished && r.exitCode == 0);
    EXPECT_EQ(test::ReadFileBytes(L"data\\maps\\a.map"), "new map");
    EXPECT_EQ(test::ReadFileBytes(L"readme.txt"), "new readme");
    EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
    EXPECT_EQ(test::ReadFileBytes(L"system64\\AudioMix.dll"), "system64\\AudioMix.dll");
    EXPECT_FALSE(test::PathExists(L"patchlist.bat"));
    std::vector<std::string> record = test::WaitForLaunchRecord();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[0].substr(record[0].size() - 10), " startgame");
    EXPECT_FALSE(test::PathExists(L"velmora.log"));

    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "a.txt\n"));
    r = test::RunProcess(updater, L"Update --log", L".");
    EXPECT_TRUE(r.finished && r.exitCode == 0);
    EXPECT_TRUE(test::PathExists(L"patchlist.txt"));
    std::string log = test::ReadFileBytes(L"velmora.log");
    EXPECT_NE(log.find(" - All system files present\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Patchlist"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), std::count(log.begin(), log.end(), '\r'));
}

// During a long walk the update window answers messages, and its close box
// neither stops the walk nor the launch.
TEST(UpdaterRun, TheCloseBoxDuringTheWalkLosesNothing) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles();
    const int n = 3000;
    std::string list;
    for (int i = 0; i < n; ++i) {
        std::wstring name = L"data\\f" + std::to_wstring(i) + L".txt";
        ASSERT_TRUE(test::WriteFileBytes(L"download\\" + name, "new"));
        list += test::Narrow(name) + "\r\n";
    }
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", list));
    std::wstring commandLine = L"\"" + test::BuildDir() + L"\\updater.exe\" update";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    HWND window = nullptr;
    for (int i = 0; i < 2000 && !window; ++i, Sleep(5))
        window = FindWindowW(L"UpdateWindowClass", L"Velmora Online update");
    ASSERT_NE(window, nullptr);
    // Mid-walk: the list is still there.
    EXPECT_TRUE(test::PathExists(L"patchlist.txt"));
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &answer), 0);
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(pi.hProcess);

    int placed = 0;
    for (int i = 0; i < n; ++i)
        placed += test::ReadFileBytes(L"data\\f" + std::to_wstring(i) + L".txt") == "new";
    EXPECT_EQ(placed, n);
    EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
    EXPECT_EQ(test::WaitForLaunchRecord().size(), 2u);
}

// A second copy started while the first fetches a runtime file slowly (and so
// holds the lock): a launch run leaves at once without touching anything, an
// update run waits for a launch run and then applies everything.
TEST(UpdaterRun, OneCopyAtATimeInAFolder) {
    struct Case {
        const wchar_t* first;
        const wchar_t* second;
        size_t gameStarts;
    } cases[] = {
        {L"--log", L"--log", 1},
        {L"--log", L"update --log", 2},
        {L"update --log", L"--log", 1},
    };
    const std::wstring updater = test::BuildDir() + L"\\updater.exe";
    const std::string engine(256 * 1024, 'e');
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Narrow(std::wstring(c.first) + L" then " + c.second));
        const bool update = wcsstr(c.first, L"update") || wcsstr(c.second, L"update");
        const bool secondLeaves = !wcsstr(c.second, L"update");
        test::ScopedWorkDir dir;
        test::ClearSites();
        ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"system64/EngineCore.dll", engine));
        ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"system64/EngineCore.dll.serve",
                                      "chunk=16384&delay=0.1")); // 1.6 s
        test::InstallRuntimeFiles({L"EngineCore.dll"});
        ASSERT_TRUE(test::WriteFileBytes(L"download\\data\\a.map", "new map"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "data\\a.map\r\n"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "x"));
        test::RequestLog requests;

        HANDLE first = test::StartProcess(updater, c.first, L".");
        ASSERT_TRUE(first);
        EXPECT_GE(test::WaitForPath(L"system64\\EngineCore.dll.part", true, 20000), 0);
        HANDLE second = test::StartProcess(updater, c.second, L".");
        ASSERT_TRUE(second);
        if (secondLeaves) {
            EXPECT_EQ(WaitForSingleObject(second, 20000), WAIT_OBJECT_0);
            EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT) << "the second copy waited";
            EXPECT_TRUE(test::PathExists(L"patchlist.bat")) << "the second copy launched";
        }
        for (HANDLE process : {first, second}) {
            EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
            CloseHandle(process);
        }

        EXPECT_TRUE(test::ReadFileBytes(L"system64\\EngineCore.dll") == engine);
        EXPECT_FALSE(test::PathExists(L"system64\\EngineCore.dll.part"));
        EXPECT_EQ(requests.Lines().size(), 1u);
        EXPECT_EQ(test::ReadFileBytes(L"data\\a.map"), update ? "new map" : "");
        EXPECT_EQ(test::PathExists(L"patchlist.txt"), !update);
        const std::string log = test::ReadFileBytes(L"velmora.log");
        EXPECT_EQ(test::CountOf(log, " - Another updater is running in this folder\r\n"),
                  secondLeaves ? 1u : 0u)
            << log;
        // A waiting update run moves its files only after the launch run's
        // download has ended.
        if (update && !secondLeaves) {
            EXPECT_LT(log.find(" - Download successful"), log.find(" - Source Path: ")) << log;
        }
        std::vector<std::string> record;
        for (DWORD waited = 0; waited < 15000 && record.size() < 2 * c.gameStarts; waited += 100)
            record = test::WaitForLaunchRecord(100);
        Sleep(300); // a third start would show by now
        EXPECT_EQ(test::WaitForLaunchRecord(0).size(), 2 * c.gameStarts);
    }
}
