// The last step of every run: runtime files checked, the game started through
// the shell, patchlist.bat removed, and the quit message posted.
#include "launch/launch.h"
#include "log/log.h"
#include "net/net.h"

#include <shellapi.h>

#include <cstdio>
#include <string>

void LaunchGame() {
    Logger::Write(L"INFO", L"Attempting to start the game");
    if (!EnsureSystemFiles()) {
        Logger::Write(L"ERROR", L"Failed to download required files");
        PostQuitMessage(1);
        return;
    }

    ShowProgressPopup(L"", 100);

    const std::wstring game = IsNative64Bit() ? L"system64\\Game.exe" : L"system32\\Game.exe";
    Logger::Write(L"INFO", L"Launch " + game);
    HINSTANCE started =
        ShellExecuteW(nullptr, L"open", game.c_str(), L"startgame", nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(started) <= 32) {
        ShowErrorBox(L"Failed to launch the game");
        Logger::Write(L"ERROR", L"Failed to launch the game " + game);
    }

    remove("patchlist.bat");
    PostQuitMessage(0);
}
