// The update window as the system sees it: class, styles, sizes, controls.
#include "app/app.h"

#include <commctrl.h>
#include <gtest/gtest.h>

TEST(UpdateWindow, ClassWindowAndControls) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    ASSERT_NE(RegisterUpdateWindowClass(instance), 0);
    WNDCLASSW wc = {};
    ASSERT_TRUE(GetClassInfoW(instance, L"UpdateWindowClass", &wc));
    EXPECT_EQ(wc.lpfnWndProc, UpdateWindowProc);
    EXPECT_TRUE(wc.style == 0 && wc.cbClsExtra == 0 && wc.cbWndExtra == 0 && !wc.hIcon &&
                !wc.hCursor && !wc.hbrBackground);

    InitCommonControls();
    HWND window = CreateUpdateWindow(instance);
    ASSERT_NE(window, nullptr);
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    EXPECT_STREQ(text, L"Velmora Online update");
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) &
                  (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                   WS_VISIBLE | WS_POPUP | WS_CHILD),
              WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 120);

    struct Control {
        HWND handle;
        const wchar_t *className, *text;
        LONG style;
        RECT rect;
    } controls[] = {
        {g_statusLabel, L"Static", L"labStatus", WS_CHILD | WS_VISIBLE, {10, 10, 270, 30}},
        {g_progressBar,
         L"msctls_progress32",
         L"",
         WS_CHILD | WS_VISIBLE | PBS_SMOOTH,
         {10, 40, 270, 60}},
    };
    for (const auto& c : controls) {
        ASSERT_NE(c.handle, nullptr);
        EXPECT_EQ(GetParent(c.handle), window);
        GetClassNameW(c.handle, text, 128);
        EXPECT_EQ(_wcsicmp(text, c.className), 0);
        GetWindowTextW(c.handle, text, 128);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(GetWindowLongW(c.handle, GWL_STYLE), c.style);
        EXPECT_EQ(GetWindowLongW(c.handle, GWL_EXSTYLE), 0);
        GetWindowRect(c.handle, &r);
        MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_TRUE(EqualRect(&r, &c.rect))
            << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
    EXPECT_EQ(SendMessageW(g_progressBar, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(SendMessageW(g_progressBar, PBM_GETRANGE, TRUE, 0), 0);

    // Closing the window ends the message loop through the quit message.
    DestroyWindow(window);
    MSG msg;
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        quit = quit || (msg.message == WM_QUIT && msg.wParam == 0);
    EXPECT_TRUE(quit);
}
