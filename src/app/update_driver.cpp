// The entry function and the order of an update run.
#include "app/app.h"
#include "app/update_rules.h"
#include "launch/launch.h"
#include "log/log.h"
#include "patch/patch.h"
#include "scoped_win.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The program lives in a folder full of game DLLs: load system DLLs from
// system32 only. Looked up at run time, as older systems lack the call.
void RestrictDllSearch() {
    using SetDirsFn = BOOL(WINAPI*)(DWORD);
    auto set = reinterpret_cast<SetDirsFn>(Kernel32Export("SetDefaultDllDirectories"));
    if (set)
        set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void SetStatus(const wchar_t* text) {
    SetWindowTextW(g_statusLabel, text);
}

// Both controls paint themselves at once on every change: the label on each
// WM_SETTEXT, the bar on each new position. For a list of thousands of small
// files that costs as much as the moves (under Wine each paint is a round of
// server and X requests, and each WM_SETTEXT one more request). During the
// walk the bar gets every position with its redraw held off, and is painted,
// with the label given the text of the entry at hand, at most once a frame.
const DWORD kFrameMs = 30;

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

// A launch run finds the other copy already starting the game; an update run
// gives it a minute to finish.
const DWORD kUpdateLockWaitMs = UPDATER_LOCK_WAIT_SECONDS * 1000;

} // namespace

int UpdaterMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    RestrictDllSearch();
    if (HasLogSwitch(GetCommandLineW()))
        g_loggingEnabled = true;
    const bool update = IsUpdateCommandLine(commandLine);
    // Before anything in the folder is read or changed. A lock that cannot be
    // made at all does not keep the player out.
    ScopedMutex lock = CreateInstallationLock();
    if (lock.get() && !lock.Acquire(update ? kUpdateLockWaitMs : 0)) {
        if (!update) {
            Logger::Write(L"INFO", L"Another updater is running in this folder");
            return 0;
        }
        Logger::Write(L"ERROR", L"Another updater is running in this folder");
        MessageBoxW(nullptr, L"Another update is running in this folder.", L"Error",
                    MB_OK | MB_ICONERROR);
        return 0;
    }
    InitCommonControls();

    if (!update) {
        LaunchGame();
        return 0;
    }

    TerminateProcessesByName(L"Game.exe");
    TerminateProcessesByName(L"game.exe");

    RegisterUpdateWindowClass(instance);
    HWND window = CreateUpdateWindow(instance);
    if (!window)
        return 0;
    SetUpdateWindowClosable(false);

    LoadPatchList();
    ShowWindow(window, showCommand);
    const std::wstring status = L"Updating files...";
    SetStatus(status.c_str());

    const size_t n = g_patchList.size();
    std::vector<bool> failed(n, false);
    size_t failures = 0;
    KnownDirectories known;
    // Written before the first move, and left alone when this list's walk is
    // resumed: rewriting it then would lose it to a crash in between.
    const bool resumed = n > 0 && PatchWalkWasCutShort(g_patchList);
    if (n > 0 && !resumed)
        NotePatchWalk(g_patchList);
    if (n == 0) {
        SetStatus(L"No files found to update");
    } else {
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
                SetStatus(g_patchList[k - 1].c_str());
                if (position != paintedPosition)
                    PaintHeldBack(window, g_progressBar, barAt);
                paintedPosition = position;
                // Once a frame the window answers its messages too.
                PumpThreadMessages();
                paintedAt = GetTickCount();
            }
            if (!ApplyPatchEntry(g_patchList[k - 1], &known, resumed)) {
                failed[k - 1] = true;
                ++failures;
            }
        }
        SetRedraw(g_progressBar, true);
        if (position != paintedPosition)
            PaintNow(g_progressBar);
        SetStatus(failures == 0 ? L"Update complete!" : IncompleteUpdateText(failures, n).c_str());
    }

    // A failed file stays in download\; the list keeps naming it so the next
    // update run tries again, and the launch below goes ahead regardless.
    PatchList retry = failures == 0 ? PatchList() : FailedEntriesToRetry(g_patchList, failed);
    bool listReplaced = false;
    if (!retry.empty()) {
        listReplaced = SavePatchList(retry);
        if (listReplaced)
            SetStatus(KeptPatchListText(retry.size()).c_str());
    } else if (remove("patchlist.txt") == 0) {
        SetStatus(L"patchlist.txt has been deleted.");
    } else {
        SetStatus(L"Failed to delete patchlist.txt.");
    }
    // The walk's note goes once patchlist.txt no longer names the walked list;
    // while it still does, the next run resumes that walk.
    if (listReplaced || GetFileAttributesW(L"patchlist.txt") == INVALID_FILE_ATTRIBUTES)
        ClearPatchWalkNote();

    LaunchGame();
    SetUpdateWindowClosable(true);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
