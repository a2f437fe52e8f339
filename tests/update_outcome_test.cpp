// Whole update runs in process: the files, the label, patchlist.txt, what the
// window paints during the walk, the lock, and the game's copies it ends.
#include "app/app.h"
#include "app/update_rules.h"
#include "launch/launch.h"
#include "patch/patch.h"
#include "support/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

namespace {

// Read through the update window's context: with its redraw held off a
// control's own context draws nothing. Null: one pixel right of the bar.
std::vector<COLORREF> Pixels(HWND control) {
    HWND window = GetParent(g_statusLabel);
    RECT r = {280, 60, 281, 61};
    if (control) {
        GetWindowRect(control, &r);
        MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
    }
    HDC dc = GetDC(window);
    std::vector<COLORREF> pixels;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            pixels.push_back(GetPixel(dc, x, y));
    ReleaseDC(window, dc);
    return pixels;
}

struct Screen {
    std::vector<COLORREF> label, bar, face;
};
std::vector<std::wstring> g_labels; // each text the label was given
std::map<int, Screen> g_screens;    // as each bar position was about to be set

// Entry 2 of 3 (position 66) takes longer than a frame, so it must be painted.
LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam) {
    auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd == g_statusLabel && sent->message == WM_SETTEXT)
        g_labels.push_back(reinterpret_cast<const wchar_t*>(sent->lParam));
    if (code == HC_ACTION && sent->hwnd == g_progressBar && sent->message == PBM_SETPOS) {
        g_screens[static_cast<int>(sent->wParam)] = {Pixels(g_statusLabel), Pixels(g_progressBar),
                                                     Pixels(nullptr)};
        if (sent->wParam == 66)
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
    ShowProgressPopup(L"", 100); // the launch's, as the process would end
    DestroyWindow(GetParent(g_statusLabel));
    for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
    }
}

} // namespace

// UTF-16 little-endian with its mark, as Windows PowerShell writes.
std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text)
        bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}

// Each row's outcome: the last label, the entries found already in place,
// patchlist.txt's bytes or "(deleted)", and whether the accented file came.
TEST(UpdateOutcome, ReplacesRefusesAndKeepsWhatFailed) {
    const std::string deleted = "patchlist.txt has been deleted.|",
                      missing = "Update incomplete: 1 of 3 files failed (not in download\\). ",
                      incomplete = "Update incomplete: 1 of 3 files failed (could not be moved). "
                                   "patchlist.txt kept for 1 files.|0|";
    struct Case {
        std::string list, outcome, note = ""; // note: patchlist.txt.applying of a cut walk
    } cases[] = {
        {"readme.txt\r\nsub\\b.txt\n", deleted + "0|(deleted)|0"},
        // Nothing can be placed below the file f; the missing and the unsafe
        // entries are not kept; most failed entries are missing.
        {"readme.txt\r\nf\\x.dll\r\nm1\nm2\nm3\nm4\n..\\outside.txt\n \"f\\y.dll\"\t\nf\\x.dll\n",
         "Update incomplete: 8 of 9 files failed (not in download\\). patchlist.txt kept for 3 "
         "files.|0|f\\x.dll\r\n \"f\\y.dll\"\t\r\nf\\x.dll\r\n|0"},
        // A walk of this list was cut short after placed.txt had been moved;
        // the note of another list proves nothing about this one.
        {"readme.txt\r\nplaced.txt\n", deleted + "1|(deleted)|0", "readme.txt\r\nplaced.txt\r\n"},
        {"readme.txt\nplaced.txt\nmissing.dll\n", missing + deleted + "1|(deleted)|0",
         "readme.txt\r\nplaced.txt\r\nmissing.dll\r\n"},
        {"readme.txt\r\nplaced.txt\n",
         "Update incomplete: 1 of 2 files failed (not in download\\). " + deleted + "0|(deleted)|0",
         "readme.txt\r\n"},
        // Names outside ASCII; the kept list in the list's own encoding.
        {u8"\uFEFFreadme.txt\r\ndonnées\\café.txt\r\nf\\é.dll\n",
         incomplete + u8"\uFEFFf\\é.dll\r\n|1"},
        {"readme.txt\r\ndonn\xE9"
         "es\\caf\xE9.txt\r\nf\\\xE9.dll\n",
         incomplete + "f\\\xE9.dll\r\n|1"},
        {Utf16(L"readme.txt\r\ndonnées\\café.txt\r\nf\\é.dll\r\n"),
         incomplete + Utf16(L"f\\é.dll\r\n") + "|1"},
    };
    for (const auto& c : cases) {
        test::ScopedWorkDir dir;
        test::InstallRuntimeFiles(); // for the launch that ends the run
        for (const wchar_t* name :
             {L"download\\readme.txt", L"download\\sub\\b.txt", L"download\\f\\x.dll",
              L"download\\f\\y.dll", L"download\\f\\é.dll", L"download\\données\\café.txt", L"f",
              L"outside.txt", L"placed.txt"})
            ASSERT_TRUE(test::WriteFileBytes(name, "new"));
        ASSERT_TRUE(test::WriteFileBytes(L"readme.txt", "old"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", c.list));
        ASSERT_TRUE(c.note.empty() || test::WriteFileBytes(L"patchlist.txt.applying", c.note));
        test::LogCapture log;
        RunUpdate(SW_HIDE);
        CloseUpdateWindow();

        ASSERT_GE(g_labels.size(), 3u) << c.list;
        EXPECT_EQ(g_labels.front(), L"Updating files...");
        const std::wstring labels = g_labels.back() + L"|";
        const bool kept = test::PathExists(L"patchlist.txt");
        EXPECT_EQ(test::Narrow(labels) +
                      std::to_string(test::CountOf(log.Text(), "[INFO] Already in place: ")) + "|" +
                      (kept ? test::ReadFileBytes(L"patchlist.txt") : "(deleted)") + "|" +
                      std::to_string(test::PathExists(L"données\\café.txt")),
                  c.outcome)
            << c.list;
        EXPECT_EQ(test::ReadFileBytes(L"readme.txt"), "new");
        EXPECT_FALSE(test::PathExists(dir.path() + L"\\..\\outside.txt") ||
                     test::PathExists(L"patchlist.txt.tmp") ||
                     test::PathExists(L"patchlist.txt.applying"));
    }
}

// A list another program has open is kept as it is, with download\ untouched,
// and the next run, once it has let go, places it all. (Wine does not hold a
// read to another program's locked bytes, so a list that reads short cannot
// be made here.)
TEST(UpdateOutcome, AListThatCannotBeReadWholeIsKept) {
    for (const wchar_t* mode : {L"exclusive"}) {
        test::ScopedWorkDir dir;
        test::InstallRuntimeFiles();
        ASSERT_TRUE(test::WriteFileBytes(L"download\\a.dll", "new") &&
                    test::WriteFileBytes(L"patchlist.txt", "a.dll\r\n"));
        HANDLE holder = test::HoldFiles(mode, {L"patchlist.txt"});
        ASSERT_NE(holder, nullptr);
        RunUpdate(SW_HIDE);
        CloseUpdateWindow();
        test::EndProcess(holder);
        EXPECT_EQ(test::Narrow(g_labels.back()),
                  "patchlist.txt could not be read (another program has it open, error 32); it "
                  "is kept for the next update.");
        EXPECT_EQ(test::ReadFileBytes(L"patchlist.txt") + test::ReadFileBytes(L"download\\a.dll"),
                  "a.dll\r\nnew");
        EXPECT_FALSE(test::PathExists(L"a.dll") || test::PathExists(L"patchlist.txt.applying"));
        RunUpdate(SW_HIDE);
        CloseUpdateWindow();
        EXPECT_EQ(test::ReadFileBytes(L"a.dll"), "new");
        EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
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
    EXPECT_TRUE(before.label != after.label) << "the label was not painted with \"slow\"";
    EXPECT_TRUE(after.label == slow) << "the label was painted with \"slow\" only in part";
    EXPECT_TRUE(before.bar != after.bar) << "the bar was not painted at 66";
    EXPECT_EQ(after.face, std::vector{GetSysColor(COLOR_BTNFACE)}) << "no background painted";
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
    const std::wstring name = InstallationLockName(FoldPathCase(dir.path()));
    ScopedMutex lock(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(lock.Acquire(0));
    g_statusLabel = nullptr;
    test::LogCapture log;
    std::vector<std::wstring> boxes;
    const DWORD start = GetTickCount();
    std::thread([&] { // not this thread: it owns the mutex
        test::DialogWatcher dialogs;
        RunUpdate(SW_HIDE);
        boxes = dialogs.Texts();
    })
        .join();
    EXPECT_GE(GetTickCount() - start, 5900u); // 6 s in the test build, 60 s in the product
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Another update is running in this folder."});
    EXPECT_EQ(log.Text(), "[ERROR] Another updater is running in this folder\n");
    EXPECT_EQ(g_statusLabel, nullptr) << "the update window was made";
    EXPECT_EQ(test::ReadFileBytes(L"download\\a.dll") + test::ReadFileBytes(L"patchlist.txt"),
              "newa.dll\r\n");
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
    EXPECT_EQ(LoadPatchList(), PatchListRead::Read);
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
    // Ended: started through another letter case of the folder, and in a subfolder.
    const std::wstring copies[] = {upper + L"\\Game.exe", dir.path() + L"\\system64\\GAME.EXE",
                                   dir.path() + L"\\MyGame.exe", dir.path() + L"\\Game.exe.bak",
                                   outside + L"\\Game.exe"};
    std::vector<ScopedHandle> processes;
    for (const std::wstring& path : copies) {
        test::MakeDirs(path.substr(0, path.rfind(L'\\')));
        CopyFileW((test::BuildDir() + L"\\helpers\\sleeper.exe").c_str(), path.c_str(), FALSE);
        processes.emplace_back(test::StartProcess(path, L""));
        ASSERT_TRUE(processes.back().valid()) << test::Narrow(path);
    }
    TerminateProcessesByName(L"Game.exe");
    std::string ended; // already gone when the call returns, or still running
    for (ScopedHandle& process : processes) {
        ended += WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0 ? '1' : '0';
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
    }
    EXPECT_EQ(ended, "11000");
    test::RemoveTree(outside);
}
