// A stand-in for a running game: sleeps for the seconds given as its first
// argument (60 without one; a word such as "startgame" means none), then exits.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    unsigned long seconds = argc > 1 ? std::wcstoul(argv[1], nullptr, 10) : 60;
    Sleep(seconds * 1000);
    return 0;
}
