// The progress popup as drawn: pixels are read back from the window's own
// device context, which holds what the popup drew whatever lies above it.
#include "launch/launch.h"
#include "launch/popup_look.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

const COLORREF kKey = kPopupKey, kPanel = kPopupPanel, kLight = kPopupLight, kTrack = kPopupTrack;

int Count(HDC dc, const RECT& r, COLORREF colour) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            n += GetPixel(dc, x, y) == colour;
    return n;
}

} // namespace

// Each call draws and pumps messages; from 100 on a shown popup is closed
// without pumping, while with none shown a new one gets a full bar.
TEST(ProgressPopup, DrawsTrackFillAndMessageInOneWindowUntilClosed) {
    const int x = 60; // the track's left end
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
        const UINT probe = WM_APP + 7;
        PostThreadMessageW(GetCurrentThreadId(), probe, 0, 0);
        ShowProgressPopup(s.text, s.percent);
        MSG msg;
        EXPECT_EQ(!PeekMessageW(&msg, nullptr, probe, probe, PM_REMOVE), s.open) << "pumped";
        ASSERT_EQ(g_progressPopup != nullptr, s.open);
        if (!s.open) {
            EXPECT_FALSE(IsWindow(previous));
            continue;
        }
        EXPECT_EQ(g_progressPopup == previous, s.sameWindow);
        previous = g_progressPopup;
        HDC dc = GetDC(g_progressPopup);
        // The key colour (made transparent) outside the rounded panel.
        EXPECT_EQ(GetPixel(dc, 0, 0), kKey);
        EXPECT_EQ(GetPixel(dc, 15, 75), kPanel);
        const RECT inner = {x + 2, 85, x + 198, 89}; // the track, less its outline
        EXPECT_EQ(Count(dc, inner, kTrack) + Count(dc, inner, kLight), 196 * 4);
        for (int y : {86, 87}) {
            EXPECT_EQ(Count(dc, {0, y, kPopupWidth, y + 1}, kLight), s.light) << "row " << y;
            EXPECT_EQ(GetPixel(dc, x + s.light, y), s.light ? kLight : kTrack) << "row " << y;
        }
        EXPECT_EQ(Count(dc, {19, 99, 301, 121}, kLight) > 20, *s.text != 0) << "the message";
        ReleaseDC(g_progressPopup, dc);
    }
    COLORREF key = 0;
    DWORD flags = 0;
    EXPECT_TRUE(GetLayeredWindowAttributes(g_progressPopup, &key, nullptr, &flags));
    EXPECT_TRUE(key == kKey && flags == LWA_COLORKEY);
    ShowProgressPopup(L"", 100);
}
