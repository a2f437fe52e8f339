// Whole update runs in process: the files, the label, patchlist.txt, what the
// window paints during the walk, the lock, and the game's copies it ends.
#include "app/app.h"
#include "app/update_rules.h"
#include "patch/patch.h"
#include "support/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

namespace {

// Read through the update window's context: with its redraw held off a
// control's own context draws nothing.
std::vector<COLORREF> Pixels(HWND control) {
    HWND window = GetParent(control);
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
    HDC dc = GetDC(window);
    std::vector<COLORREF> pixels;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            pixels.push_back(GetPixel(dc, x, y));
    ReleaseDC(window, dc);
    return pixels;
}

struct Screen {
    std::vector<COLORREF> label, bar;
    std::wstring text;
    COLORREF face; // right of the bar, below the label
};
std::vector<std::wstring> g_labels; // each text the label was given
std::map<int, Screen> g_screens;    // as each bar position was about to be set

// Entry 2 of 3 (position 66) takes longer than a frame, so it must be painted.
LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam) {
    auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && g_statusLabel && sent->hwnd == g_statusLabel &&
        sent->message == WM_SETTEXT)
        g_labels.push_back(reinterpret_cast<const wchar_t*>(sent->lParam));
    if (code == HC_ACTION && g_progressBar && sent->hwnd == g_progressBar &&
        sent->message == PBM_SETPOS) {
        wchar_t text[64] = {};
        GetWindowTextW(g_statusLabel, text, 64);
        const int position = static_cast<int>(sent->wParam);
        HWND window = GetParent(g_statusLabel);
        HDC dc = GetDC(window);
        g_screens[position] = {Pixels(g_statusLabel), Pixels(g_progressBar), text,
                               GetPixel(dc, 280, 30)};
        ReleaseDC(window, dc);
        if (position == 66)
            Sleep(100);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// An update run; the window is left for the caller to look at and destroy.
void RunUpdate(int show) {
    g_labels.clear();
    g_screens.clear();
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, Watch, nullptr, GetCurrentThreadId());
    EXPECT_EQ(UpdaterMain(GetModuleHandleW(nullptr), nullptr, const_cast<PWSTR>(L"update"), show),
              0);
    UnhookWindowsHookEx(hook);
    g_patchList.clear();
}

void CloseUpdateWindow() {
    DestroyWindow(GetParent(g_statusLabel));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

} // namespace

TEST(UpdateOutcome, ReplacesRefusesAndKeepsWhatFailed) {
    const std::vector<std::wstring> done = {L"Update complete!",
                                            L"patchlist.txt has been deleted."},
                                    incomplete = {L"Update incomplete: 1 of 3 files failed",
                                                  L"patchlist.txt kept for 1 files."};
    struct Case {
        std::string list;
        std::vector<std::wstring> lastLabels;
        std::string kept;      // empty: patchlist.txt deleted
        const char* note = ""; // patchlist.txt.applying left by a walk cut short
        size_t alreadyInPlace = 0;
    } cases[] = {
        {"readme.txt\r\nsub\\b.txt\n", done, ""},
        // Nothing can be placed below the file f; missing.dll and the unsafe
        // entry are not kept.
        {"readme.txt\r\nf\\x.dll\r\nmissing.dll\n..\\outside.txt\n \"f\\y.dll\"\t\nf\\x.dll\n",
         {L"Update incomplete: 5 of 6 files failed", L"patchlist.txt kept for 3 files."},
         "f\\x.dll\r\n \"f\\y.dll\"\t\r\nf\\x.dll\r\n"},
        // A walk of this list was cut short after placed.txt had been moved;
        // the note of another list proves nothing about this one.
        {"readme.txt\r\nplaced.txt\n", done, "", "readme.txt\r\nplaced.txt\r\n", 1},
        {"readme.txt\nplaced.txt\nmissing.dll\n",
         {L"Update incomplete: 1 of 3 files failed", L"patchlist.txt has been deleted."},
         "",
         "readme.txt\r\nplaced.txt\r\nmissing.dll\r\n",
         1},
        {"readme.txt\r\nplaced.txt\n",
         {L"Update incomplete: 1 of 2 files failed", L"patchlist.txt has been deleted."},
         "",
         "readme.txt\r\n"},
        // Names outside ASCII; the kept list in the list's own encoding.
        {u8"\uFEFFreadme.txt\r\ndonnées\\café.txt\r\nf\\é.dll\n", incomplete,
         u8"\uFEFFf\\é.dll\r\n"},
        {"readme.txt\r\ndonn\xE9"
         "es\\caf\xE9.txt\r\nf\\\xE9.dll\n",
         incomplete, "f\\\xE9.dll\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        test::ScopedWorkDir dir;
        test::InstallRuntimeFiles(); // for the launch that ends the run
        for (const wchar_t* name :
             {L"download\\readme.txt", L"download\\sub\\b.txt", L"download\\f\\x.dll",
              L"download\\f\\y.dll", L"download\\f\\é.dll", L"download\\données\\café.txt", L"f",
              L"outside.txt", L"placed.txt"})
            ASSERT_TRUE(test::WriteFileBytes(name, "new"));
        ASSERT_TRUE(test::WriteFileBytes(L"readme.txt", "old"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", c.list));
        ASSERT_TRUE(!*c.note || test::WriteFileBytes(L"patchlist.txt.applying", c.note));
        test::LogCapture log;
        RunUpdate(SW_HIDE);
        CloseUpdateWindow();

        ASSERT_GE(g_labels.size(), c.lastLabels.size() + 1);
        EXPECT_EQ(g_labels.front(), L"Updating files...");
        EXPECT_EQ(std::vector<std::wstring>(g_labels.end() - c.lastLabels.size(), g_labels.end()),
                  c.lastLabels);
        EXPECT_EQ(test::ReadFileBytes(L"readme.txt"), "new");
        EXPECT_FALSE(test::PathExists(dir.path() + L"\\..\\outside.txt"));
        EXPECT_EQ(test::ReadFileBytes(L"patchlist.txt"), c.kept);
        EXPECT_EQ(test::PathExists(L"patchlist.txt"), !c.kept.empty());
        EXPECT_FALSE(test::PathExists(L"patchlist.txt.tmp"));
        EXPECT_FALSE(test::PathExists(L"patchlist.txt.applying"));
        EXPECT_EQ(test::CountOf(log.Text(), "[INFO] Already in place: "), c.alreadyInPlace);
        EXPECT_EQ(test::PathExists(L"données\\café.txt"), c.lastLabels == incomplete);
    }
}

TEST(UpdateOutcome, AnEntryShownForAFrameIsPainted) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "first\nslow\nnext\n"));
    for (const wchar_t* name : {L"download\\first", L"download\\slow", L"download\\next"})
        ASSERT_TRUE(test::WriteFileBytes(name, "new"));
    RunUpdate(SW_SHOWNOACTIVATE);
    const std::vector<COLORREF> full = Pixels(g_progressBar); // painted full after the walk
    // What the walk showed must be the label's own paint of "slow", whole.
    SetWindowTextW(g_statusLabel, L"slow");
    UpdateWindow(g_statusLabel);
    const std::vector<COLORREF> slow = Pixels(g_statusLabel);
    CloseUpdateWindow();
    const Screen &before = g_screens[66], &after = g_screens[100];
    EXPECT_EQ(after.text, L"slow");
    EXPECT_TRUE(before.label != after.label) << "the label was not painted with \"slow\"";
    EXPECT_TRUE(after.label == slow) << "the label was painted with \"slow\" only in part";
    EXPECT_TRUE(before.bar != after.bar) << "the bar was not painted at 66";
    EXPECT_EQ(after.face, GetSysColor(COLOR_BTNFACE)) << "the background was not painted";
    EXPECT_TRUE(full != after.bar) << "the bar was not painted full at the end";
}

// Another thread holds this folder's mutex, taken under another spelling of the
// folder. (updater_run_test runs two real copies side by side.)
TEST(InstallationLock, AnUpdateRunGivesUpAfterItsWaitTouchingNothing) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    ASSERT_TRUE(test::WriteFileBytes(L"download\\a.dll", "new"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "a.dll\r\n"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "x"));
    std::wstring lower = dir.path();
    CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    ASSERT_TRUE(SetCurrentDirectoryW(lower.c_str()));
    ScopedHandle taken(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread holder([&, name = InstallationLockName(FoldPathCase(dir.path()))] {
        ScopedMutex lock(CreateMutexW(nullptr, FALSE, name.c_str()));
        lock.Acquire(0);
        SetEvent(taken.get());
        WaitForSingleObject(release.get(), INFINITE);
    });
    ASSERT_EQ(WaitForSingleObject(taken.get(), 5000), WAIT_OBJECT_0);
    g_statusLabel = nullptr;
    test::LogCapture log;
    test::DialogWatcher dialogs;
    const DWORD start = GetTickCount();
    RunUpdate(SW_HIDE);
    EXPECT_GE(GetTickCount() - start, 5900u); // 6 s in the test build, 60 s in the product
    SetEvent(release.get());
    holder.join();

    EXPECT_EQ(dialogs.Texts(),
              std::vector<std::wstring>{L"Another update is running in this folder."});
    EXPECT_EQ(log.Text(), "[ERROR] Another updater is running in this folder\n");
    EXPECT_EQ(g_statusLabel, nullptr) << "the update window was made";
    EXPECT_EQ(test::ReadFileBytes(L"download\\a.dll"), "new");
    EXPECT_EQ(test::ReadFileBytes(L"patchlist.txt"), "a.dll\r\n");
    EXPECT_TRUE(test::PathExists(L"patchlist.bat"));
    EXPECT_TRUE(test::WaitForLaunchRecord(500).empty());
}

// A game folder deeper than any fixed buffer would hold, and an entry longer
// than MAX_PATH on its own: the lock is taken under the folder's own name, and
// the list is read, placed and deleted. (A process of its own: see
// CMakeLists.txt.)
TEST(InstallationLock, ADeepFolderIsLockedAndUpdated) {
    test::ScopedWorkDir dir;
    std::wstring deep = dir.path();
    for (wchar_t level = L'a'; level < L'g'; ++level)
        deep += L'\\' + std::wstring(200, level);
    test::MakeDirs(deep);
    ASSERT_TRUE(SetCurrentDirectoryW(deep.c_str()));
    EXPECT_EQ(FoldedWorkingDirectory(), FoldPathCase(deep));
    ScopedMutex lock = CreateInstallationLock();
    EXPECT_TRUE(lock.Acquire(0));
    const std::wstring entry = std::wstring(250, L'x') + L"\\" + std::wstring(20, L'y') + L".dat";
    ASSERT_TRUE(test::WriteFileBytes(L"download\\" + entry, "new"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", test::Narrow(entry)));
    EXPECT_TRUE(LoadPatchList());
    ASSERT_EQ(g_patchList, PatchList{entry});
    g_patchList.clear();
    EXPECT_TRUE(ApplyPatchEntry(entry));
    EXPECT_EQ(test::ReadFileBytes(entry), "new");
    EXPECT_TRUE(DeletePatchList());
    SetCurrentDirectoryW(dir.path().c_str());
}

// Only this installation's copies, and the call returns once they are gone.
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
        EXPECT_TRUE(
            CopyFileW((test::BuildDir() + L"\\helpers\\sleeper.exe").c_str(), path.c_str(), FALSE));
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
