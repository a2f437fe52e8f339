// The progress popup: a colour-keyed borderless window drawn straight onto
// its device context by every call, which then empties the message queue.
#include "launch/launch.h"
#include "launch/popup_look.h"
#include "launch/popup_rules.h"
#include "scoped_win.h"

#include <algorithm>
#include <cwchar>
#include <string>

HWND g_progressPopup = nullptr;

namespace {

const char kBrandCaption[] = "VELMORA ONLINE";

const UINT kTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

// Far beyond any window, yet well inside the coordinates GDI accepts.
constexpr long long kFarRight = 1 << 20;

// Right edge of the fill: 2 pixels per percent from the track's left end,
// past the track's end when the percentage is above 100.
int FillRight(int trackLeft, int percent) {
    // In 64 bits: a huge percentage must not overflow into a negative edge.
    long long right = trackLeft + 2LL * percent;
    return static_cast<int>(std::clamp(right, -kFarRight, kFarRight));
}

// Centred on the screen.
HWND CreatePopupWindow() {
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kPopupWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kPopupHeight) / 2;
    return CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"STATIC", L"",
                           WS_POPUP, x, y, kPopupWidth, kPopupHeight, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

HFONT CreatePopupFont(int height, int weight, const char* face) {
    return CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

void DrawTextAt(HDC dc, const char* text, COLORREF colour, RECT rect) {
    SetTextColor(dc, colour);
    DrawTextA(dc, text, -1, &rect, kTextFormat);
}

// The status text in the given code page, cut to the whole characters that
// fit the message buffer.
void ToPopupMessage(const wchar_t* text, unsigned codePage,
                    char (&buffer)[kPopupMessageBufferSize]) {
    buffer[0] = '\0';
    if (!text)
        return;
    const std::wstring_view wide(text, std::wcslen(text));
    auto bytesOf = [codePage](std::wstring_view part) -> std::size_t {
        if (part.empty())
            return 0;
        int n = WideCharToMultiByte(codePage, 0, part.data(), static_cast<int>(part.size()),
                                    nullptr, 0, nullptr, nullptr);
        // A prefix the code page cannot take at all never fits.
        return n > 0 ? static_cast<std::size_t>(n) : kPopupMessageBufferSize;
    };
    // A text too long for the buffer keeps the whole characters that fit.
    const std::size_t length = FittingPrefixLength(wide, kPopupMessageBufferSize - 1, bytesOf);
    int written = 0;
    if (length > 0)
        written =
            WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(length), buffer,
                                static_cast<int>(kPopupMessageBufferSize - 1), nullptr, nullptr);
    buffer[written > 0 ? written : 0] = '\0';
}

void DrawPopup(HDC dc, const RECT& client, const wchar_t* text, int percent) {
    const int w = client.right;
    const int h = client.bottom;
    {
        ScopedGdiObject background(CreateSolidBrush(kPopupKey));
        FillRect(dc, &client, static_cast<HBRUSH>(background.get()));
    }
    {
        ScopedGdiObject brush(CreateSolidBrush(kPopupPanel));
        ScopedGdiObject pen(CreatePen(PS_SOLID, 1, kPopupPanelOutline));
        ScopedSelect selectBrush(dc, brush.get());
        ScopedSelect selectPen(dc, pen.get());
        RoundRect(dc, 10, 10, w - 10, h - 10, 20, 20);
    }
    {
        ScopedGdiObject font(CreatePopupFont(28, FW_BOLD, "Segoe UI"));
        ScopedSelect selectFont(dc, font.get());
        SetBkMode(dc, TRANSPARENT);
        DrawTextAt(dc, kBrandCaption, kPopupDark, {22, 27, w - 18, 67});
        DrawTextAt(dc, kBrandCaption, kPopupLight, {20, 25, w - 20, 65});
    }
    {
        const int x = (w - kTrackLength) / 2;
        ScopedGdiObject brush(CreateSolidBrush(kPopupTrack));
        ScopedGdiObject pen(CreatePen(PS_SOLID, 1, kPopupTrack));
        ScopedSelect selectBrush(dc, brush.get());
        ScopedSelect selectPen(dc, pen.get());
        RoundRect(dc, x, kTrackTop, x + kTrackLength, kTrackBottom, 4, 4);
        // The fill keeps the track's pen as its outline.
        if (percent > 0) {
            ScopedGdiObject fill(CreateSolidBrush(kPopupLight));
            ScopedSelect selectFill(dc, fill.get());
            RoundRect(dc, x, kTrackTop, FillRight(x, percent), kTrackBottom, 4, 4);
        }
    }
    char message[kPopupMessageBufferSize];
    ToPopupMessage(text, CP_ACP, message);
    // An empty line draws nothing: no font is made for it.
    if (message[0] != '\0') {
        ScopedGdiObject font(CreatePopupFont(13, FW_NORMAL, "Helvetica Neue"));
        ScopedSelect selectFont(dc, font.get());
        SetBkMode(dc, TRANSPARENT);
        const RECT base = {20, 100, w - 20, 120};
        const POINT outline[] = {{1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
        for (const POINT& d : outline)
            DrawTextAt(dc, message, kPopupDark,
                       {base.left + d.x, base.top + d.y, base.right + d.x, base.bottom + d.y});
        DrawTextAt(dc, message, kPopupLight, base);
    }
}

} // namespace

void PumpThreadMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

namespace {

void CloseProgressPopup() {
    DestroyWindow(g_progressPopup);
    g_progressPopup = nullptr;
}

} // namespace

void ShowErrorBox(const std::wstring& text) {
    if (g_progressPopup)
        CloseProgressPopup();
    MessageBoxW(nullptr, text.c_str(), L"Error", MB_OK | MB_ICONERROR);
}

void ShowProgressPopup(const wchar_t* text, int percent) {
    if (percent >= 100 && g_progressPopup) {
        CloseProgressPopup();
        return;
    }
    if (!g_progressPopup) {
        g_progressPopup = CreatePopupWindow();
        if (!g_progressPopup)
            return;
        SetLayeredWindowAttributes(g_progressPopup, kPopupKey, 0, LWA_COLORKEY);
        ShowWindow(g_progressPopup, SW_SHOW);
        UpdateWindow(g_progressPopup);
    }
    {
        ScopedGetDC dc(g_progressPopup);
        if (dc.get()) {
            RECT client = {};
            GetClientRect(g_progressPopup, &client);
            DrawPopup(dc.get(), client, text, percent);
        }
    }
    PumpThreadMessages();
}
