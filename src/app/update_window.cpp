// The update window: a status label above a progress bar, both drawn by the
// system in the classic style.
#include "app/app.h"

#include <commctrl.h>

HWND g_statusLabel = nullptr;
HWND g_progressBar = nullptr;

namespace {
const wchar_t kClassName[] = L"UpdateWindowClass";
bool windowClosable = true;
} // namespace

void SetUpdateWindowClosable(bool closable) {
    windowClosable = closable;
}

LRESULT CALLBACK UpdateWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        // Three lines: an incomplete update says why and what became of the list.
        g_statusLabel = CreateWindowExW(0, L"STATIC", L"labStatus", WS_CHILD | WS_VISIBLE, 10, 6,
                                        260, 42, window, nullptr, nullptr, nullptr);
        g_progressBar =
            CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 10, 52,
                            260, 20, window, nullptr, nullptr, nullptr);
        SendMessageW(g_progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        return 0;
    case WM_CLOSE:
        if (!windowClosable)
            return 0;
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

ATOM RegisterUpdateWindowClass(HINSTANCE instance) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = UpdateWindowProc;
    wc.hInstance = instance;
    // Without a brush nothing paints around the controls, and the window
    // shows whatever the screen held there before.
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc);
}

HWND CreateUpdateWindow(HINSTANCE instance) {
    return CreateWindowExW(0, kClassName, L"Velmora Online update", WS_CAPTION | WS_SYSMENU,
                           CW_USEDEFAULT, CW_USEDEFAULT, 300, 120, nullptr, nullptr, instance,
                           nullptr);
}
