// Ending the game before an update: only this installation's copies, and the
// call returns once they are gone.
#include "app/app.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(TerminateProcesses, EndsOnlyThisInstallationsGameAndWaits) {
    test::ScopedWorkDir dir;
    const std::wstring outside = dir.path() + L"X"; // C:\...\case1X is not in C:\...\case1
    std::wstring upper = dir.path();
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    const std::pair<std::wstring, bool> copies[] = {
        {upper + L"\\Game.exe", true}, // started through another letter case of the folder
        {dir.path() + L"\\system64\\GAME.EXE", true},
        {dir.path() + L"\\MyGame.exe", false},
        {dir.path() + L"\\Game.exe.bak", false},
        {outside + L"\\Game.exe", false},
    };
    std::vector<HANDLE> processes;
    for (const auto& [path, ended] : copies) {
        test::MakeDirs(path.substr(0, path.rfind(L'\\')));
        EXPECT_TRUE(CopyFileW(test::HelperPath(L"sleeper").c_str(), path.c_str(), FALSE));
        processes.push_back(test::StartProcess(path, L""));
        EXPECT_TRUE(processes.back()) << test::Narrow(path);
    }
    TerminateProcessesByName(L"Game.exe");
    for (size_t i = 0; i < processes.size(); ++i) {
        // Already gone when the call returns, or still running.
        EXPECT_EQ(WaitForSingleObject(processes[i], 0) == WAIT_OBJECT_0, copies[i].second)
            << test::Narrow(copies[i].first);
        TerminateProcess(processes[i], 1);
        WaitForSingleObject(processes[i], 5000);
        CloseHandle(processes[i]);
    }
    test::RemoveTree(outside);
}
