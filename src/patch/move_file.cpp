// A replacing move that waits out short-lived locks, and telling a file from
// a folder.
#include "patch/patch.h"
#include "patch/move_retry.h"
#include "long_path.h"

#include <windows.h>

namespace {

bool MayClearSoon(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

} // namespace

bool MoveFileReplacing(const std::wstring& from, const std::wstring& to, unsigned long& error,
                       MoveBudget* budget) {
    MoveBudget own;
    unsigned& waitedMs = (budget ? *budget : own).waitedMs;
    const std::wstring source = FileSystemPath(from), target = FileSystemPath(to);
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
    for (size_t retry = 0;; ++retry) {
        if (MoveFileExW(source.c_str(), target.c_str(), flags)) {
            error = ERROR_SUCCESS;
            return true;
        }
        error = GetLastError();
        const unsigned delay = MayClearSoon(error) ? MoveRetryDelayMs(retry, waitedMs) : 0;
        if (delay == 0)
            return false;
        Sleep(delay);
        waitedMs += delay;
    }
}

bool IsFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(FileSystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
