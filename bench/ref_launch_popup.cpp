// Reference for the launch benchmark: the visible work of a launch with
// nothing missing. Initialises the common controls, as the program must,
// shows one colour-keyed layered popup of the progress
// popup's size, style and look with a full bar, then starts the game through
// the shell. The popup's status line is empty then, so no text is drawn there.
#include "launch/popup_look.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

namespace {

const int kWidth = kPopupWidth;
const int kHeight = kPopupHeight;
const COLORREF kKey = kPopupKey;

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void Rounded(HDC dc, RECT r, int corner, COLORREF fill, COLORREF outline) {
    HGDIOBJ brush = CreateSolidBrush(fill);
    HGDIOBJ pen = CreatePen(PS_SOLID, 1, outline);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    RoundRect(dc, r.left, r.top, r.right, r.bottom, corner, corner);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

void Caption(HDC dc, RECT r, COLORREF colour) {
    SetTextColor(dc, colour);
    DrawTextA(dc, "VELMORA ONLINE", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void Draw(HDC dc) {
    Fill(dc, {0, 0, kWidth, kHeight}, kKey);
    Rounded(dc, {10, 10, kWidth - 10, kHeight - 10}, 20, kPopupPanel, kPopupPanelOutline);
    HGDIOBJ font =
        CreateFontA(28, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, "Segoe UI");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    Caption(dc, {22, 27, kWidth - 18, 67}, kPopupDark);
    Caption(dc, {20, 25, kWidth - 20, 65}, kPopupLight);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    const int left = (kWidth - kTrackLength) / 2;
    const RECT track = {left, kTrackTop, left + kTrackLength, kTrackBottom};
    Rounded(dc, track, 4, kPopupTrack, kPopupTrack);
    Rounded(dc, track, 4, kPopupLight, kPopupTrack);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    InitCommonControls();
    HWND popup = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"STATIC", L"",
                                 WS_POPUP, (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2,
                                 (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2, kWidth, kHeight,
                                 nullptr, nullptr, instance, nullptr);
    if (popup) {
        SetLayeredWindowAttributes(popup, kKey, 0, LWA_COLORKEY);
        ShowWindow(popup, SW_SHOW);
        UpdateWindow(popup);
        HDC dc = GetDC(popup);
        if (dc) {
            Draw(dc);
            ReleaseDC(popup, dc);
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    ShellExecuteW(nullptr, L"open", L"system64\\Game.exe", L"startgame", nullptr, SW_SHOWNORMAL);
    return popup ? 0 : 1;
}
