// Making a directory path level by level, outermost first.
#include "patch/patch.h"
#include "patch/patch_entry.h"
#include "log/log.h"
#include "long_path.h"

#include <windows.h>

namespace {

void LogExisting(const std::wstring& path) {
    Logger::Write(L"INFO", L"Directory already exists: " + path + L"\n");
}

// One CreateDirectoryW; an existing level counts as made. An existing file
// counts too: the next level then fails with the system's own code.
bool CreateLevel(const std::wstring& path, const wchar_t* failureText, KnownDirectories* known) {
    // Thousands of files in a few folders would otherwise ask about every
    // level once per file.
    if (known && known->count(path) != 0) {
        LogExisting(path);
        return true;
    }
    if (CreateDirectoryW(FileSystemPath(path).c_str(), nullptr)) {
        if (known)
            known->insert(path);
        return true;
    }
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        if (known)
            known->insert(path);
        LogExisting(path);
        return true;
    }
    Logger::Write(L"ERROR", failureText + path + L", Error: " + std::to_wstring(error) + L"\n");
    SetLastError(error); // for the caller, past the log's own calls
    return false;
}

} // namespace

bool EnsureDirectory(const std::wstring& path, KnownDirectories* known) {
    std::wstring prefix;
    prefix.reserve(path.size());
    for (wchar_t c : path) {
        prefix += c;
        if (IsPathSeparator(c) && !CreateLevel(prefix, L"Failed to create directory: ", known))
            return false;
    }
    if (path.empty())
        return true;
    return CreateLevel(path, L"Failed to create final directory: ", known);
}
