// Ending running copies of this installation's game before its files are
// replaced.
#include "app/app.h"
#include "scoped_win.h"

namespace {

// True when path names something below directory (at any depth). Both are full
// paths already folded to one letter case; directory may end in a backslash.
// C:\game holds C:\game\x but not C:\gameX\x, nor itself.
bool PathLiesInside(const std::wstring& path, const std::wstring& directory) {
    if (directory.empty())
        return false;
    std::wstring prefix = directory;
    if (prefix.back() != L'\\')
        prefix += L'\\';
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

// The process's executable, as a full path; empty when it cannot be told.
std::wstring ImagePath(HANDLE process) {
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process, 0, &path[0], &size))
        return {};
    path.resize(size);
    return path;
}

} // namespace

void TerminateProcessesByName(const std::wstring& name) {
    const std::wstring directory = FoldedWorkingDirectory();
    if (directory.empty())
        return;
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid())
        return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    if (!Process32FirstW(snapshot.get(), &entry))
        return;
    do {
        if (_wcsicmp(entry.szExeFile, name.c_str()) != 0)
            continue;
        // Only the game of this installation: a program of the same name
        // elsewhere on the machine is none of our business.
        ScopedHandle process(
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                        entry.th32ProcessID));
        if (!process.valid())
            continue;
        std::wstring image = ImagePath(process.get());
        if (image.empty() || !PathLiesInside(FoldPathCase(image), directory))
            continue;
        // Ending is asynchronous; its files stay locked until it has gone.
        if (TerminateProcess(process.get(), 0))
            WaitForSingleObject(process.get(), 5000);
    } while (Process32NextW(snapshot.get(), &entry));
}
