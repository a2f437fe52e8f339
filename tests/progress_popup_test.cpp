// The progress popup as drawn: pixels are read back from the window's own
// device context, which holds what the popup drew whatever lies above it.
#include "app/app.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

const COLORREF kKey = RGB(0xFF, 0xFF, 0xFF);
const COLORREF kPanel = RGB(0x1E, 0x1E, 0x1E);
const COLORREF kDark = RGB(0x00, 0x00, 0x00);
const COLORREF kLight = RGB(0xFA, 0xFA, 0xFA);
const COLORREF kTrack = RGB(0x64, 0x64, 0x64);

// Pixels counted on the popup's own device context.
int Count(HDC dc, const RECT& r, COLORREF colour) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            n += GetPixel(dc, x, y) == colour;
    return n;
}

// Shows the popup with a thread message waiting; true when the call took it.
bool ShowAndPumped(const wchar_t* text, int percent) {
    const UINT probe = WM_APP + 7;
    PostThreadMessageW(GetCurrentThreadId(), probe, 0, 0);
    ShowProgressPopup(text, percent);
    MSG msg;
    return !PeekMessageW(&msg, nullptr, probe, probe, PM_REMOVE);
}

} // namespace

// Each call draws and pumps messages; from 100 on a shown popup is closed
// without pumping, while with none shown a new one gets a full bar.
TEST(ProgressPopup, DrawsPanelTrackFillAndMessageInOneWindowUntilClosed) {
    const int x = 60; // the track's left end
    const RECT message = {19, 99, 301, 121};
    const std::wstring overlong(1000, L'A');
    struct Step {
        const wchar_t* text;
        int percent;
        bool open, sameWindow;
        int light; // light pixels on each of the fill's rows, from x + 1 on
    } steps[] = {
        {L"Downloading Game.exe...", 0, true, false, 0},
        {L"", 50, true, true, 100 - 2}, // inside the fill's outline
        {overlong.c_str(), -5, true, true, 0},
        {L"", 100, false, false, 0},
        {L"", 100, true, false, 200 - 2},
        {L"", INT_MAX, false, false, 0},
        // No clamp at the track's end and no overflow: up to the window's edge.
        {L"All files downloaded!", INT_MAX, true, false, kPopupWidth - 1 - x},
    };
    HWND previous = nullptr;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << &s - steps);
        EXPECT_EQ(ShowAndPumped(s.text, s.percent), s.open);
        ASSERT_EQ(g_progressPopup != nullptr, s.open);
        if (!s.open) {
            EXPECT_FALSE(IsWindow(previous));
            continue;
        }
        EXPECT_EQ(g_progressPopup == previous, s.sameWindow);
        previous = g_progressPopup;

        HDC dc = GetDC(g_progressPopup);
        // The key outside the rounded panel, the panel colour inside it.
        for (POINT p : {POINT{0, 0}, POINT{11, 11}, POINT{308, 138}, POINT{319, 149}})
            EXPECT_EQ(GetPixel(dc, p.x, p.y), kKey) << p.x << "," << p.y;
        for (POINT p : {POINT{15, 75}, POINT{300, 20}, POINT{20, 135}})
            EXPECT_EQ(GetPixel(dc, p.x, p.y), kPanel) << p.x << "," << p.y;
        EXPECT_GT(Count(dc, {20, 25, 300, 65}, kLight), 50) << "caption";
        // The track: 200 x 4 pixels at (60, 85), with the fill on its two inner rows.
        EXPECT_EQ(Count(dc, {x, 84, x + 200, 85}, kPanel) + Count(dc, {x, 89, x + 200, 90}, kPanel),
                  400);
        const RECT inner = {x + 2, 85, x + 198, 89};
        EXPECT_EQ(Count(dc, inner, kTrack) + Count(dc, inner, kLight), 196 * 4);
        for (int y : {86, 87}) {
            EXPECT_EQ(Count(dc, {0, y, kPopupWidth, y + 1}, kLight), s.light) << "row " << y;
            EXPECT_EQ(GetPixel(dc, x + s.light, y), s.light ? kLight : kTrack) << "row " << y;
            EXPECT_TRUE(x + s.light + 1 == kPopupWidth ||
                        GetPixel(dc, x + s.light + 1, y) == kTrack);
        }
        EXPECT_EQ(Count(dc, message, kLight) > 20 && Count(dc, message, kDark) > 20, *s.text != 0)
            << "the message and its outline";
        ReleaseDC(g_progressPopup, dc);
    }
    // White is keyed out.
    COLORREF key = 0;
    DWORD flags = 0;
    EXPECT_TRUE(GetLayeredWindowAttributes(g_progressPopup, &key, nullptr, &flags));
    EXPECT_EQ(key, kKey);
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));
    ShowProgressPopup(L"", 100);
}
