// A replacing move that waits out short-lived locks.
#include "patch/move_file.h"

namespace {

bool MayClearSoon(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

// Pauses before each retry: about two seconds in all.
const DWORD kRetryDelaysMs[] = {100, 200, 300, 500, 900};

} // namespace

bool MoveFileReplacing(const std::wstring& from, const std::wstring& to, DWORD& error) {
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
    for (size_t retry = 0;; ++retry) {
        if (MoveFileExW(from.c_str(), to.c_str(), flags)) {
            error = ERROR_SUCCESS;
            return true;
        }
        error = GetLastError();
        if (!MayClearSoon(error) || retry == sizeof kRetryDelaysMs / sizeof kRetryDelaysMs[0])
            return false;
        Sleep(kRetryDelaysMs[retry]);
    }
}
