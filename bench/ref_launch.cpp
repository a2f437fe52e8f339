// Reference for the launch benchmark: only starts the game through the shell.
#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ShellExecuteW(nullptr, L"open", L"system64\\Game.exe", L"startgame", nullptr, SW_SHOWNORMAL);
    return 0;
}
