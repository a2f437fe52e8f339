// An update run that cannot get the installation lock in time, in process:
// another thread holds this folder's mutex, taken under another spelling of
// the folder. (updater_run_test runs two real copies side by side.)
#include "app/app.h"
#include "app/update_rules.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <thread>

TEST(InstallationLock, AnUpdateRunGivesUpAfterItsWaitTouchingNothing) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    ASSERT_TRUE(test::WriteFileBytes(L"download\\a.dll", "new"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "a.dll\r\n"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "x"));
    std::wstring lower = dir.path();
    CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    ASSERT_TRUE(SetCurrentDirectoryW(lower.c_str()));
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&, name = InstallationLockName(FoldPathCase(dir.path()))] {
        ScopedMutex lock(CreateMutexW(nullptr, FALSE, name.c_str()));
        lock.Acquire(0);
        SetEvent(taken);
        WaitForSingleObject(release, INFINITE);
    });
    ASSERT_EQ(WaitForSingleObject(taken, 5000), WAIT_OBJECT_0);
    g_statusLabel = nullptr;
    test::LogCapture log;
    test::DialogWatcher dialogs;
    const DWORD start = GetTickCount();
    EXPECT_EQ(
        UpdaterMain(GetModuleHandleW(nullptr), nullptr, const_cast<PWSTR>(L"update"), SW_HIDE), 0);
    EXPECT_GE(GetTickCount() - start, 5900u); // 6 s in the test build, 60 s in the product
    SetEvent(release);
    holder.join();
    CloseHandle(taken);
    CloseHandle(release);

    EXPECT_EQ(dialogs.Texts(),
              std::vector<std::wstring>{L"Another update is running in this folder."});
    EXPECT_EQ(log.Text(), "[ERROR] Another updater is running in this folder\n");
    EXPECT_EQ(g_statusLabel, nullptr) << "the update window was made";
    EXPECT_EQ(test::ReadFileBytes(L"download\\a.dll"), "new");
    EXPECT_EQ(test::ReadFileBytes(L"patchlist.txt"), "a.dll\r\n");
    EXPECT_TRUE(test::PathExists(L"patchlist.bat"));
    EXPECT_TRUE(test::WaitForLaunchRecord(500).empty());
}
