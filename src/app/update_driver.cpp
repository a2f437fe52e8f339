// The entry function and the order of an update run.
#include "app/app.h"
#include "app/update_rules.h"
#include "launch/launch.h"
#include "log/log.h"
#include "patch/patch.h"
#include "scoped_win.h"

#include <commctrl.h>

#include <algorithm>
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

// A launch run finds the other copy already starting the game; an update run
// gives it a minute to finish.
const DWORD kUpdateLockWaitMs = UPDATER_LOCK_WAIT_SECONDS * 1000;

// Takes this installation's lock; false, after saying so, when another copy
// holds it. A lock that cannot be made at all does not keep the player out.
bool TakeInstallationLock(ScopedMutex& lock, bool update) {
    if (!lock.get() || lock.Acquire(update ? kUpdateLockWaitMs : 0))
        return true;
    if (!update) {
        Logger::Write(L"INFO", L"Another updater is running in this folder");
        return false;
    }
    Logger::Write(L"ERROR", L"Another updater is running in this folder");
    ShowErrorBox(L"Another update is running in this folder.");
    return false;
}

// A failed file stays in download\; the list keeps naming it so the next
// update run tries again, and the launch goes ahead regardless. After a
// failure the label keeps its count and reason before the list's outcome.
void DisposeOfPatchList(const PatchList& list, const std::vector<PlaceFailure>& failures) {
    std::vector<bool> failed;
    for (PlaceFailure f : failures)
        failed.push_back(f != PlaceFailure::None);
    const bool anyFailed = std::find(failed.begin(), failed.end(), true) != failed.end();
    PatchList retry = anyFailed ? FailedEntriesToRetry(list, failed) : PatchList();
    bool listReplaced = false;
    std::wstring outcome;
    if (!retry.empty()) {
        listReplaced = SavePatchList(retry);
        outcome = listReplaced
                      ? L"patchlist.txt kept for " + std::to_wstring(retry.size()) + L" files."
                      : L"Failed to write patchlist.txt.";
    } else {
        outcome = DeletePatchList() ? L"patchlist.txt has been deleted."
                                    : L"Failed to delete patchlist.txt.";
    }
    SetWindowTextW(
        g_statusLabel,
        (anyFailed ? IncompleteUpdateText(failures) + L". " + outcome : outcome).c_str());
    // While patchlist.txt still names the walked list, the next run resumes
    // that walk.
    ClearPatchWalkNote(listReplaced);
}

void RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

int UpdaterMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    RestrictDllSearch();
    if (HasLogSwitch(GetCommandLineW()))
        g_loggingEnabled = true;
    const bool update = IsUpdateCommandLine(commandLine);
    // Before anything in the folder is read or changed.
    ScopedMutex lock = CreateInstallationLock();
    if (!TakeInstallationLock(lock, update))
        return 0;
    // Old copies of files that were in use (this program's own image among
    // them) go once their programs have ended.
    TidySetAsideFiles();
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
    std::wstring unreadable;
    const PatchListRead read = LoadPatchList(&unreadable);
    ShowWindow(window, showCommand);
    SetWindowTextW(g_statusLabel, L"Updating files...");

    if (read == PatchListRead::Unreadable) {
        // Kept, with download\ as it is: the next update run tries again.
        SetWindowTextW(g_statusLabel, (L"patchlist.txt could not be read (" + unreadable +
                                       L"); it is kept for the next update.")
                                          .c_str());
    } else {
        // Written before the first move, and left alone when this list's walk
        // is resumed: rewriting it then would lose it to a crash in between.
        const bool resumed = !g_patchList.empty() && PatchWalkWasCutShort(g_patchList);
        if (!g_patchList.empty() && !resumed)
            NotePatchWalk(g_patchList);
        DisposeOfPatchList(g_patchList, WalkPatchList(window, g_patchList, resumed));
    }

    LaunchGame();
    SetUpdateWindowClosable(true);
    RunMessageLoop();
    return 0;
}
