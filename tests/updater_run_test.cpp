// Whole runs of the built updater.exe in a throw-away game folder.
#include "net/net.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

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
