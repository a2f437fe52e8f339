// The "--log" switch, the one way to turn the log file on.
#include "app/app.h"

#include <shellapi.h>

bool HasLogSwitch(const wchar_t* fullCommandLine) {
    if (!fullCommandLine || !*fullCommandLine)
        return false; // CommandLineToArgvW would answer with our own path
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(fullCommandLine, &count);
    if (!args)
        return false;
    bool found = false;
    for (int i = 1; i < count && !found; ++i)
        found = lstrcmpW(args[i], L"--log") == 0;
    LocalFree(args);
    return found;
}
