// How the progress popup looks: its size, its bar and its colours. The
// benchmark's reference popup and the popup's test draw and read the same.
#pragma once

#include <windows.h>

constexpr int kPopupWidth = 320;
constexpr int kPopupHeight = 150;
// The bar's track: 200 pixels, centred, from y 85 to 89; 2 pixels a percent.
constexpr int kTrackLength = 200;
constexpr int kTrackTop = 85;
constexpr int kTrackBottom = 89;

// White is the colour key: made transparent, it cuts out the panel's corners.
constexpr COLORREF kPopupKey = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kPopupPanel = RGB(0x1E, 0x1E, 0x1E);
constexpr COLORREF kPopupPanelOutline = RGB(0x32, 0x32, 0x32);
constexpr COLORREF kPopupDark = RGB(0x00, 0x00, 0x00);
constexpr COLORREF kPopupLight = RGB(0xFA, 0xFA, 0xFA);
constexpr COLORREF kPopupTrack = RGB(0x64, 0x64, 0x64);
