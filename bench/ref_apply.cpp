// Reference for the update benchmark: the bare work an update must do. Makes
// each destination directory level by level (once), moves every file named in
// patchlist.txt from download\ with MoveFileExW, and starts the game.
#include <windows.h>
#include <shellapi.h>

#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> ReadList() {
    std::vector<std::wstring> lines;
    HANDLE file = CreateFileW(L"patchlist.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lines;
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    std::wstring line;
    for (char c : bytes) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<wchar_t>(static_cast<unsigned char>(c));
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::set<std::wstring> made;
    for (const std::wstring& path : ReadList()) {
        for (size_t i = 0; i < path.size(); ++i) {
            if (path[i] != L'\\')
                continue;
            std::wstring level = path.substr(0, i);
            if (made.insert(level).second)
                CreateDirectoryW(level.c_str(), nullptr);
        }
        MoveFileExW((L"download\\" + path).c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH);
    }
    ShellExecuteW(nullptr, L"open", L"system64\\Game.exe", L"startgame", nullptr, SW_SHOWNORMAL);
    return 0;
}
