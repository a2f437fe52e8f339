// Whole update runs in process: files replaced, unsafe entries refused, and
// what the label says and what happens to patchlist.txt when some entries
// could not be placed.
#include "app/app.h"
#include "patch/patch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::wstring> g_labels;

LRESULT CALLBACK RecordLabel(int code, WPARAM wParam, LPARAM lParam) {
    auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_SETTEXT && g_statusLabel &&
        sent->hwnd == g_statusLabel)
        g_labels.push_back(reinterpret_cast<const wchar_t*>(sent->lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

TEST(UpdateOutcome, ReplacesRefusesAndKeepsWhatFailed) {
    struct Case {
        std::string list;
        std::vector<std::wstring> lastLabels;
        std::string kept; // empty: patchlist.txt deleted
    } cases[] = {
        {"readme.txt\r\nsub\\b.txt\n",
         {L"sub\\b.txt", L"Update complete!", L"patchlist.txt has been deleted."},
         ""},
        // f is a file, so nothing can be placed below it; missing.dll was never
        // downloaded and the unsafe entry is refused: neither is kept.
        {"readme.txt\r\nf\\x.dll\r\nmissing.dll\n..\\outside.txt\n \"f\\y.dll\"\t\nf\\x.dll\n",
         {L"f\\x.dll", L"Update incomplete: 5 of 6 files failed",
          L"patchlist.txt kept for 3 files."},
         "f\\x.dll\r\n \"f\\y.dll\"\t\r\nf\\x.dll\r\n"},
    };
    for (const auto& c : cases) {
        test::ScopedWorkDir dir;
        test::InstallRuntimeFiles(); // for the launch that ends the run
        test::MakeDirs(L"download\\sub");
        test::MakeDirs(L"download\\f");
        for (const wchar_t* name : {L"download\\sub\\b.txt", L"download\\f\\x.dll",
                                    L"download\\f\\y.dll", L"f", L"outside.txt"})
            ASSERT_TRUE(test::WriteFileBytes(name, "data"));
        ASSERT_TRUE(test::WriteFileBytes(L"readme.txt", "old"));
        ASSERT_TRUE(test::WriteFileBytes(L"download\\readme.txt", "new"));
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", c.list));

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

        ASSERT_GE(g_labels.size(), c.lastLabels.size());
        EXPECT_EQ(std::vector<std::wstring>(g_labels.end() - c.lastLabels.size(), g_labels.end()),
                  c.lastLabels);
        EXPECT_EQ(test::ReadFileBytes(L"readme.txt"), "new");
        EXPECT_FALSE(test::PathExists(dir.path() + L"\\..\\outside.txt"));
        EXPECT_EQ(test::FileExists(L"patchlist.txt"), !c.kept.empty());
        EXPECT_EQ(test::ReadFileBytes(L"patchlist.txt"), c.kept);
        EXPECT_FALSE(test::PathExists(L"patchlist.txt.tmp"));
    }
}
