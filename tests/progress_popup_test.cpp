// The progress popup as drawn: pixels are read back from the window's own
// device context, which holds what the popup drew whatever lies above it.
#include "app/app.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

const COLORREF kKey = RGB(0xFF, 0xFF, 0xFF);
const COLORREF kPanel = RGB(0x1E, 0x1E, 0x1E);
const COLORREF kDark = RGB(0x00, 0x00, 0x00);
const COLORREF kLight = RGB(0xFA, 0xFA, 0xFA);
const COLORREF kTrack = RGB(0x64, 0x64, 0x64);
const UINT kProbe = WM_APP + 7;
const RECT kMessageArea = {19, 99, 301, 121};

struct Capture {
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[y * kPopupWidth + x]; }
    int Count(const RECT& r, COLORREF colour) const {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += at(x, y) == colour;
        return n;
    }
};

Capture ReadPopup() {
    Capture c;
    HDC dc = GetDC(g_progressPopup);
    for (int y = 0; y < kPopupHeight; ++y)
        for (int x = 0; x < kPopupWidth; ++x)
            c.pixels.push_back(GetPixel(dc, x, y));
    ReleaseDC(g_progressPopup, dc);
    return c;
}

// Posts a thread message before a call; WasPumped tells whether the call took it.
void PostProbe() {
    PostThreadMessageW(GetCurrentThreadId(), kProbe, 0, 0);
}
bool WasPumped() {
    MSG msg;
    return !PeekMessageW(&msg, nullptr, kProbe, kProbe, PM_REMOVE);
}

class ProgressPopup : public testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(g_progressPopup, nullptr); }
    void TearDown() override {
        if (g_progressPopup)
            ShowProgressPopup(L"", 100);
    }
};

} // namespace

TEST_F(ProgressPopup, OneCentredColourKeyedWindowPumpingMessagesUntilClosed) {
    PostProbe();
    ShowProgressPopup(L"Downloading Game.exe...", 10);
    HWND popup = g_progressPopup;
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(WasPumped());

    wchar_t text[64] = {};
    GetClassNameW(popup, text, 64);
    EXPECT_STREQ(text, L"Static");
    EXPECT_EQ(GetWindowTextW(popup, text, 64), 0);
    // The system adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(GetWindowLongW(popup, GWL_STYLE), WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS);
    EXPECT_EQ(GetWindowLongW(popup, GWL_EXSTYLE), 0x80088);
    RECT r;
    GetWindowRect(popup, &r);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 320) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 150) / 2);
    EXPECT_EQ(r.right - r.left, 320);
    EXPECT_EQ(r.bottom - r.top, 150);
    COLORREF key = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(popup, &key, nullptr, &flags));
    EXPECT_EQ(key, kKey);
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));

    PostProbe();
    ShowProgressPopup(L"Downloading EngineCore.dll...", 20);
    EXPECT_EQ(g_progressPopup, popup);
    EXPECT_TRUE(WasPumped());

    PostProbe();
    ShowProgressPopup(L"", 100);
    EXPECT_EQ(g_progressPopup, nullptr);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_FALSE(WasPumped());

    // With no popup, 100 opens one (with a full bar) and pumps.
    PostProbe();
    ShowProgressPopup(L"", 100);
    EXPECT_NE(g_progressPopup, nullptr);
    EXPECT_TRUE(WasPumped());
}

TEST_F(ProgressPopup, DrawsPanelCaptionTrackFillAndMessage) {
    const int x = 60; // the track's left end
    struct Step {
        const wchar_t* text;
        int percent;
        bool open, sameWindow;
        int lastLight; // last light pixel on the fill's rows; 0: no fill
    } steps[] = {
        {L"Downloading Game.exe...", 0, true, false, 0},
        {L"", 50, true, true, x + 100 - 2}, // inside the fill's outline
        {L"Downloading Game.exe...", -5, true, true, 0},
        {L"", 100, false, false, 0},
        {L"", 100, true, false, x + 200 - 2},
        {L"", INT_MAX, false, false, 0},
        // No clamp at the track's end and no overflow: up to the window's edge.
        {L"All files downloaded!", INT_MAX, true, false, kPopupWidth - 1},
    };
    HWND previous = nullptr;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.percent << " " << s.text[0]);
        ShowProgressPopup(s.text, s.percent);
        ASSERT_EQ(g_progressPopup != nullptr, s.open);
        if (!s.open) {
            EXPECT_FALSE(IsWindow(previous));
            continue;
        }
        EXPECT_EQ(g_progressPopup == previous, s.sameWindow);
        previous = g_progressPopup;

        Capture c = ReadPopup();
        // The key outside the rounded panel, the panel colour inside it.
        for (POINT p : {POINT{0, 0}, POINT{11, 11}, POINT{308, 138}, POINT{319, 149}})
            EXPECT_EQ(c.at(p.x, p.y), kKey) << p.x << "," << p.y;
        for (POINT p : {POINT{15, 75}, POINT{300, 20}, POINT{20, 135}})
            EXPECT_EQ(c.at(p.x, p.y), kPanel) << p.x << "," << p.y;
        EXPECT_GT(c.Count({20, 25, 300, 65}, kLight), 50) << "caption";
        EXPECT_GT(c.Count({22, 27, 302, 67}, kDark), 10) << "caption shadow";

        // The track: 200 x 4 pixels at (60, 85), with the fill on its two inner rows.
        EXPECT_EQ(c.Count({x, 84, x + 200, 85}, kPanel), 200);
        EXPECT_EQ(c.Count({x, 89, x + 200, 90}, kPanel), 200);
        EXPECT_EQ(c.Count({x + 2, 85, x + 198, 89}, kTrack) +
                      c.Count({x + 2, 85, x + 198, 89}, kLight),
                  196 * 4);
        for (int y : {86, 87}) {
            int light = s.lastLight ? s.lastLight - x : 0; // from x + 1 on
            EXPECT_EQ(c.Count({0, y, kPopupWidth, y + 1}, kLight), light) << "row " << y;
            EXPECT_EQ(c.at(x + light, y), light ? kLight : kTrack) << "row " << y;
            if (x + light + 1 < kPopupWidth) {
                EXPECT_EQ(c.at(x + light + 1, y), kTrack) << "row " << y;
            }
        }

        if (*s.text) {
            EXPECT_GT(c.Count(kMessageArea, kLight), 20) << "message";
            EXPECT_GT(c.Count(kMessageArea, kDark), 20) << "message outline";
        } else {
            EXPECT_EQ(c.Count(kMessageArea, kPanel), 282 * 22) << "empty message";
        }
    }
}

TEST_F(ProgressPopup, OverlongTextsAreCutAndDrawn) {
    std::wstring pairs;
    for (int i = 0; i < 500; ++i)
        pairs += L"\U0001F600";
    for (const std::wstring& text :
         {std::wstring(1000, L'A'), std::wstring(1000, L'\u65E5'), pairs}) {
        ShowProgressPopup(text.c_str(), 40);
        ASSERT_NE(g_progressPopup, nullptr);
        EXPECT_GT(ReadPopup().Count(kMessageArea, kLight), 20) << text.size();
    }
}

TEST(PopupMessage, CutsAtWholeCharactersWithinTheBuffer) {
    std::wstring emojis, mixed;
    for (int i = 0; i < 300; ++i) {
        emojis += L"\U0001F600";
        mixed += L"a\U0001F600";
    }
    const std::wstring cjk(1000, L'\u65E5');
    struct Case {
        unsigned codePage;
        std::wstring text;
        size_t bytes;       // length of the cut text
        bool representable; // converts back to the same characters
    } cases[] = {
        {1252, L"Downloading Game.exe...", 23, true},
        {1252, L"", 0, true},
        {1252, std::wstring(255, L'x'), 255, true},
        {1252, std::wstring(1000, L'\u00E9'), 255, true},
        {1252, cjk, 255, false},
        {932, cjk, 254, true},
        {932, L"a" + cjk, 255, true},
        {932, L"ab" + cjk, 254, true},
        {CP_UTF8, emojis, 252, true},
        {CP_UTF8, L"ab" + mixed, 253, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.codePage << " " << c.text.size());
        char buffer[kPopupMessageBufferSize + 8];
        memset(buffer, 0x5A, sizeof buffer);
        ToPopupMessage(c.text.c_str(), c.codePage,
                       *reinterpret_cast<char(*)[kPopupMessageBufferSize]>(buffer));
        EXPECT_EQ(std::string(buffer + kPopupMessageBufferSize, 8), std::string(8, 0x5A));
        size_t n = strnlen(buffer, kPopupMessageBufferSize);
        ASSERT_EQ(n, c.bytes);
        // The cut decodes to a prefix of the text, with no broken character.
        wchar_t back[kPopupMessageBufferSize] = {};
        int m = MultiByteToWideChar(c.codePage, MB_ERR_INVALID_CHARS, buffer, static_cast<int>(n),
                                    back, kPopupMessageBufferSize);
        EXPECT_EQ(m > 0, n > 0);
        if (c.representable) {
            EXPECT_EQ(c.text.compare(0, m, back, m), 0);
        }
    }
}
