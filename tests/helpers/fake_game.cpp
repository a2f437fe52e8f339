// Plays Game.exe in the tests: writes its command line and working directory
// to launch-record.txt in the working directory (UTF-8, one per line) and ends.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

int wmain() {
    wchar_t dir[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(MAX_PATH * 2, dir);
    std::string record = Utf8(GetCommandLineW()) + "\n" + Utf8(dir) + "\n";
    FILE* out = _wfopen(L"launch-record.txt", L"wb");
    if (!out)
        return 2;
    fwrite(record.data(), 1, record.size(), out);
    fclose(out);
    return 0;
}
