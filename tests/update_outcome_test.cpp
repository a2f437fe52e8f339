// Whole update runs: the running game ended, files replaced, unsafe entries
// refused, and what the label says and what happens to patchlist.txt when
// some entries could not be placed.
#include "app/app.h"
#include "patch/patch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

void Place(const std::wstring& path, const std::string& bytes) {
    size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos)
        test::MakeDirs(path.substr(0, slash));
    ASSERT_TRUE(test::WriteFileBytes(path, bytes)) << test::Narrow(path);
}

std::vector<std::wstring> g_labels;

LRESULT CALLBACK RecordLabel(int code, WPARAM wParam, LPARAM lParam) {
    auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_SETTEXT && g_statusLabel &&
        sent->hwnd == g_statusLabel)
        g_labels.push_back(reinterpret_cast<const wchar_t*>(sent->lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

TEST(UpdateOutcome, EndsTheGameReplacesRefusesAndKeepsWhatFailed) {
    struct Case {
        std::string list;
        std::vector<std::wstring> lastLabels;
        std::string kept; // empty: patchlist.txt deleted
    } cases[] = {
        {"readme.txt\r\nsub\\b.txt\n",
         {L"sub\\b.txt", L"Update complete!", L"patchlist.txt has been deleted."},
         ""},
        {"readme.txt\r\nf\\x.dll\r\nmissing.dll\n..\\outside.txt\n \"f\\y.dll\"\t\nf\\x.dll\n",
         {L"f\\x.dll", L"Update incomplete: 5 of 6 files failed",
          L"patchlist.txt kept for 3 files."},
         "f\\x.dll\r\n \"f\\y.dll\"\t\r\nf\\x.dll\r\n"},
        {"missing.dll\r\nreadme.txt\r\n",
         {L"readme.txt", L"Update incomplete: 1 of 2 files failed",
          L"patchlist.txt has been deleted."},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        test::ScopedWorkDir dir;
        // Every runtime file, so the launch that ends the run finds them all
        // and starts a stand-in game that exits at once.
        for (const wchar_t* name :
             {L"Crashlog-x64.dll", L"EngineCore.dll", L"MediaLib.dll", L"AudioMix.dll",
              L"GfxUtil.dll", L"Presence.dll", L"NetFetch-x64.dll"})
            Place(std::wstring(L"system64\\") + name, "");
        std::wstring game = dir.path() + L"\\system64\\Game.exe";
        ASSERT_TRUE(CopyFileW(test::HelperPath(L"sleeper").c_str(), game.c_str(), FALSE));
        // f is a file, so nothing can be placed below it.
        for (const wchar_t* name : {L"download\\sub\\b.txt", L"download\\f\\x.dll",
                                    L"download\\f\\y.dll", L"f", L"outside.txt"})
            Place(name, "data");
        Place(L"readme.txt", "old");
        Place(L"download\\readme.txt", "new");
        Place(L"patchlist.txt", c.list);

        std::wstring commandLine = L"\"" + game + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(game.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &si, &pi));
        CloseHandle(pi.hThread);
        test::LogCapture log;
        g_labels.clear();
        HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, RecordLabel, nullptr, GetCurrentThreadId());
        EXPECT_EQ(
            UpdaterMain(GetModuleHandleW(nullptr), nullptr, const_cast<PWSTR>(L"update"), SW_HIDE),
            0);
        UnhookWindowsHookEx(hook);
        DestroyWindow(GetParent(g_statusLabel));
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        g_patchList.clear();
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_OBJECT_0);
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);

        ASSERT_GE(g_labels.size(), c.lastLabels.size());
        EXPECT_EQ(std::vector<std::wstring>(g_labels.end() - c.lastLabels.size(), g_labels.end()),
                  c.lastLabels);
        EXPECT_EQ(test::ReadFileBytes(L"readme.txt"), "new");
        EXPECT_FALSE(test::PathExists(dir.path() + L"\\..\\outside.txt"));
        EXPECT_EQ(test::FileExists(L"patchlist.txt"), !c.kept.empty());
        EXPECT_EQ(test::ReadFileBytes(L"patchlist.txt"), c.kept);
        EXPECT_FALSE(test::PathExists(L"patchlist.txt.tmp"));
        EXPECT_EQ(log.Text().find("[INFO] Kept in patchlist.txt: f\\x.dll\n") != std::string::npos,
                  !c.kept.empty());
    }
}
