// Plays Game.exe in the tests: appends its command line and working directory
// to launch-record.txt in the working directory (UTF-8, one per line) and ends,
// so two starts leave four lines.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain() {
    wchar_t dir[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(MAX_PATH * 2, dir);
    std::wstring record = std::wstring(GetCommandLineW()) + L"\n" + dir + L"\n";
    char utf8[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, record.c_str(), static_cast<int>(record.size()), utf8,
                                sizeof utf8, nullptr, nullptr);
    FILE* out = _wfopen(L"launch-record.txt", L"ab");
    if (!out)
        return 2;
    fwrite(utf8, 1, static_cast<size_t>(n), out);
    fclose(out);
    return 0;
}
