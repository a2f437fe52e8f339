// The update window as the system sees it: class, styles, sizes, controls.
#include "app/app.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

std::wstring ClassOf(HWND w) {
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    return name;
}

std::wstring TextOf(HWND w) {
    wchar_t text[128] = {};
    GetWindowTextW(w, text, 128);
    return text;
}

RECT ChildRect(HWND parent, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

} // namespace

TEST(UpdateWindow, ClassWindowAndControls) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    ASSERT_NE(RegisterUpdateWindowClass(instance), 0);

    WNDCLASSW wc = {};
    ASSERT_TRUE(GetClassInfoW(instance, L"UpdateWindowClass", &wc));
    EXPECT_EQ(wc.style, 0u);
    EXPECT_EQ(wc.lpfnWndProc, UpdateWindowProc);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ(wc.hCursor, nullptr);
    EXPECT_EQ(wc.hbrBackground, nullptr);

    InitCommonControls();
    HWND window = CreateUpdateWindow(instance);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TextOf(window), L"Velmora Online update");
    LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                       WS_MAXIMIZEBOX | WS_VISIBLE | WS_POPUP | WS_CHILD),
              WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 300);
    EXPECT_EQ(outer.bottom - outer.top, 120);

    struct Control {
        HWND handle;
        const wchar_t* className;
        const wchar_t* text;
        LONG style;
        RECT rect;
    } controls[] = {
        {g_statusLabel, L"Static", L"labStatus", WS_CHILD | WS_VISIBLE, {10, 10, 270, 30}},
        {g_progressBar, L"msctls_progress32", L"", WS_CHILD | WS_VISIBLE | PBS_SMOOTH,
         {10, 40, 270, 60}},
    };
    for (const auto& c : controls) {
        ASSERT_NE(c.handle, nullptr);
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.className)));
        EXPECT_EQ(GetParent(c.handle), window);
        EXPECT_EQ(_wcsicmp(ClassOf(c.handle).c_str(), c.className), 0);
        EXPECT_EQ(TextOf(c.handle), c.text);
        EXPECT_EQ(GetWindowLongW(c.handle, GWL_STYLE), c.style);
        EXPECT_EQ(GetWindowLongW(c.handle, GWL_EXSTYLE), 0);
        EXPECT_EQ(GetDlgCtrlID(c.handle), 0);
        RECT r = ChildRect(window, c.handle);
        EXPECT_EQ(r.left, c.rect.left);
        EXPECT_EQ(r.top, c.rect.top);
        EXPECT_EQ(r.right, c.rect.right);
        EXPECT_EQ(r.bottom, c.rect.bottom);
    }
    PBRANGE range = {};
    SendMessageW(g_progressBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(SendMessageW(g_progressBar, PBM_GETPOS, 0, 0), 0);
    SendMessageW(g_progressBar, PBM_SETPOS, 100, 0);
    EXPECT_EQ(SendMessageW(g_progressBar, PBM_GETPOS, 0, 0), 100);

    // Closing the window ends the message loop through the quit message.
    DestroyWindow(window);
    MSG msg;
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT) {
            quit = true;
            EXPECT_EQ(msg.wParam, 0u);
        }
    EXPECT_TRUE(quit);
}
