// Making a directory path level by level, outermost first.
#include "patch/patch.h"
#include "log/log.h"

#include <windows.h>

namespace {

// One CreateDirectoryW; an existing level counts as made. An existing file
// counts too: the next level then fails with the system's own code.
bool CreateLevel(const std::wstring& path, const wchar_t* failureText) {
    if (CreateDirectoryW(path.c_str(), nullptr))
        return true;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        Logger::Write(L"INFO", L"Directory already exists: " + path + L"\n");
        return true;
    }
    Logger::Write(L"ERROR", failureText + path + L", Error: " + std::to_wstring(error) + L"\n");
    return false;
}

} // namespace

bool EnsureDirectory(const std::wstring& path) {
    std::wstring prefix;
    prefix.reserve(path.size());
    for (wchar_t c : path) {
        prefix += c;
        if ((c == L'\\' || c == L'/') && !CreateLevel(prefix, L"Failed to create directory: "))
            return false;
    }
    if (path.empty())
        return true;
    return CreateLevel(path, L"Failed to create final directory: ");
}
