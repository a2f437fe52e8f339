// Paths of any length the system allows. The program names its files relative
// to the working directory; a name whose full path passes MAX_PATH fails in
// the plain file functions, on Windows 7 and on a Windows 10 or 11 that has
// not opted in alike, so such a name is handed over as "\\?\" and its full
// path. A shorter one goes as it is, read by the system's usual rules.
#pragma once

#include <windows.h>

#include <string>

// The full path of path, sized by a first call; empty when it cannot be told.
inline std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return {};
    std::wstring full(size, L'\0');
    const DWORD n = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (n == 0 || n >= size)
        return {};
    full.resize(n);
    return full;
}

// What to hand the file functions for path. The long form is the full path
// as the system would have made it (separators turned into backslashes,
// trailing dots and spaces of the name dropped), so both forms name the same
// file. Directories stop 12 short of MAX_PATH, hence the margin; a device
// name ("\\.\CON") stays as it was given.
inline std::wstring FileSystemPath(const std::wstring& path) {
    const std::wstring full = path.empty() ? std::wstring() : FullPath(path);
    if (full.size() + 12 < MAX_PATH || full.compare(0, 4, L"\\\\?\\") == 0 ||
        full.compare(0, 4, L"\\\\.\\") == 0)
        return path;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2); // \\server\share\...
    return L"\\\\?\\" + full;
}
