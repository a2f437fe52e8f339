// The walk of the patch list under the update window: every entry placed, the
// bar and the label kept current at most once a frame.
#include "app/app.h"
#include "app/update_rules.h"
#include "launch/launch.h"
#include "patch/patch.h"
#include "frame.h"
#include "scoped_win.h"

#include <commctrl.h>

#include <iterator>

namespace {

void SetStatus(const wchar_t* text) {
    SetWindowTextW(g_statusLabel, text);
}

// Both controls paint themselves at once on every change: the label on each
// WM_SETTEXT, the bar on each new position. For a list of thousands of small
// files that costs as much as the moves (under Wine each paint is a round of
// server and X requests, and each WM_SETTEXT one more request). During the
// walk the bar gets every position with its redraw held off, and is painted,
// with the label given the text of the entry at hand, at most once a frame.
void SetRedraw(HWND control, bool on) {
    SendMessageW(control, WM_SETREDRAW, on ? TRUE : FALSE, 0);
}

// Drawn straight onto the control's device context, as the controls' own
// paints are: under Wine a whole WM_PAINT cycle costs several times as much.
void PaintNow(HWND control) {
    ScopedGetDC dc(control);
    if (dc.get())
        SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()),
                     PRF_CLIENT | PRF_ERASEBKGND);
}

// Where a control stands in its parent's client area.
RECT ControlRect(HWND control) {
    RECT r = {};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A control whose redraw is held off has no visible region of its own, so
// it is printed through its parent's context, clipped to its place (under
// Wine each redraw switch is a style change sent to the server). Only for the
// bar: a static control clips its print to its client rectangle taken as
// device units, so through a moved origin it paints only part of itself.
void PaintHeldBack(HWND parent, HWND control, const RECT& at) {
    ScopedGetDC dc(parent);
    if (!dc.get())
        return;
    SetViewportOrgEx(dc.get(), at.left, at.top, nullptr);
    IntersectClipRect(dc.get(), 0, 0, at.right - at.left, at.bottom - at.top);
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()),
                 PRF_CLIENT | PRF_ERASEBKGND);
}

const wchar_t* FailureWords(PlaceFailure failure) {
    switch (failure) {
    case PlaceFailure::InUse:
        return L"in use by another program";
    case PlaceFailure::NotWritable:
        return L"folder not writable";
    case PlaceFailure::DiskFull:
        return L"disk full";
    case PlaceFailure::NotInDownload:
        return L"not in download\\";
    case PlaceFailure::Refused:
        return L"refused as unsafe";
    default:
        return L"could not be moved";
    }
}

} // namespace

std::wstring IncompleteUpdateText(const std::vector<PlaceFailure>& failures) {
    // The reason most of the failed entries share; a tie goes to the one first
    // in PlaceFailure's order.
    size_t counts[static_cast<size_t>(PlaceFailure::Other) + 1] = {};
    size_t failed = 0;
    for (PlaceFailure f : failures)
        if (f != PlaceFailure::None) {
            ++counts[static_cast<size_t>(f)];
            ++failed;
        }
    size_t common = 1;
    for (size_t f = 2; f < std::size(counts); ++f)
        common = counts[f] > counts[common] ? f : common;
    return L"Update incomplete: " + std::to_wstring(failed) + L" of " +
           std::to_wstring(failures.size()) + L" files failed (" +
           FailureWords(static_cast<PlaceFailure>(common)) + L")";
}

std::vector<PlaceFailure> WalkPatchList(HWND window, const PatchList& list, bool resumed) {
    const size_t n = list.size();
    std::vector<PlaceFailure> failed(n, PlaceFailure::None);
    if (n == 0) {
        SetStatus(L"No files found to update");
        return failed;
    }
    PatchWalk walk;
    walk.resumed = resumed;
    size_t failures = 0;
    SetRedraw(g_progressBar, false);
    const RECT barAt = ControlRect(g_progressBar);
    DWORD paintedAt = GetTickCount();
    int position = 0;
    int paintedPosition = 0;
    for (size_t k = 1; k <= n; ++k) {
        position = ProgressPosition(k, n);
        SendMessageW(g_progressBar, PBM_SETPOS, position, 0);
        // An entry that comes a frame or more after the last paint (a slow
        // move, say) is always shown before it is applied.
        if (GetTickCount() - paintedAt >= kFrameMs) {
            SetStatus(list[k - 1].c_str());
            if (position != paintedPosition)
                PaintHeldBack(window, g_progressBar, barAt);
            paintedPosition = position;
            // Once a frame the window answers its messages too.
            PumpThreadMessages();
            paintedAt = GetTickCount();
        }
        failures += !ApplyPatchEntry(list[k - 1], &walk, &failed[k - 1]);
    }
    SetRedraw(g_progressBar, true);
    if (position != paintedPosition)
        PaintNow(g_progressBar);
    SetStatus(failures == 0 ? L"Update complete!" : IncompleteUpdateText(failed).c_str());
    return failed;
}
