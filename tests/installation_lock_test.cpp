// The installation lock in process: another thread holds this folder's mutex
// (taken under another spelling of the folder) while UpdaterMain runs.
#include "app/app.h"
#include "app/update_rules.h"
#include "patch/patch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

struct Holder {
    std::wstring name;
    DWORD holdMs;
    HANDLE taken, release;
};

DWORD WINAPI HoldLock(void* parameter) {
    auto* holder = static_cast<Holder*>(parameter);
    ScopedMutex lock(CreateMutexW(nullptr, FALSE, holder->name.c_str()));
    lock.Acquire(0);
    SetEvent(holder->taken);
    WaitForSingleObject(holder->release, holder->holdMs);
    return 0;
}

} // namespace

TEST(InstallationLock, ALaunchRunLeavesAnUpdateRunWaitsThenGivesUp) {
    struct Case {
        const wchar_t* commandLine;
        DWORD holdMs;
        bool applied; // the update placed its file and the game was started
        std::vector<std::wstring> boxes;
        std::string log; // empty: not checked
    } cases[] = {
        {L"", 20000, false, {}, "[INFO] Another updater is running in this folder\n"},
        {L"update",
         20000,
         false,
         {L"Another update is running in this folder."},
         "[ERROR] Another updater is running in this folder\n"},
        {L"update", 1000, true, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Narrow(c.commandLine));
        test::ScopedWorkDir dir;
        test::InstallRuntimeFiles();
        ASSERT_TRUE(test::WriteFileBytes(L"download\\a.dll", "new"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "a.dll\r\n"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "x"));
        std::wstring lower = dir.path();
        CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
        ASSERT_TRUE(SetCurrentDirectoryW(lower.c_str()));

        Holder holder = {InstallationLockName(FoldPathCase(dir.path())), c.holdMs,
                         CreateEventW(nullptr, TRUE, FALSE, nullptr),
                         CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        HANDLE thread = CreateThread(nullptr, 0, HoldLock, &holder, 0, nullptr);
        ASSERT_EQ(WaitForSingleObject(holder.taken, 5000), WAIT_OBJECT_0);
        g_statusLabel = nullptr;
        test::LogCapture log;
        test::DialogWatcher dialogs;
        const DWORD start = GetTickCount();
        EXPECT_EQ(UpdaterMain(GetModuleHandleW(nullptr), nullptr, const_cast<PWSTR>(c.commandLine),
                              SW_HIDE),
                  0);
        const DWORD took = GetTickCount() - start;
        g_patchList.clear();
        if (g_statusLabel)
            DestroyWindow(GetParent(g_statusLabel));
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        ShowProgressPopup(L"", 100);

        if (!*c.commandLine) {
            EXPECT_LT(took, 1000u);
        } else { // 6 s in the test build, 60 s in the product
            EXPECT_GE(took, c.applied ? 900u : 5900u);
        }
        EXPECT_EQ(dialogs.Texts(), c.boxes);
        if (!c.log.empty()) {
            EXPECT_EQ(log.Text(), c.log);
        }
        EXPECT_EQ(g_statusLabel != nullptr, c.applied) << "the update window";
        EXPECT_EQ(test::ReadFileBytes(L"a.dll"), c.applied ? "new" : "");
        EXPECT_EQ(test::PathExists(L"download\\a.dll"), !c.applied);
        EXPECT_EQ(test::PathExists(L"patchlist.txt"), !c.applied);
        EXPECT_EQ(test::PathExists(L"patchlist.bat"), !c.applied);
        EXPECT_EQ(test::WaitForLaunchRecord(c.applied ? 15000 : 500).size(), c.applied ? 2u : 0u);
        SetEvent(holder.release);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
        CloseHandle(holder.taken);
        CloseHandle(holder.release);
    }
}
