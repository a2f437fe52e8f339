// Finding and dismissing "Error" message boxes.
#include "support/dialog_watcher.h"

#include <windows.h>

namespace test {

void DialogWatcher::Run() {
    HWND last = nullptr;
    for (; !stop_; Sleep(50)) {
        // Other test programs running at the same time have dialogs of their own.
        HWND dialog = nullptr;
        DWORD owner = 0;
        while ((dialog = FindWindowExW(nullptr, dialog, L"#32770", L"Error")) != nullptr)
            if (dialog != last && IsWindowVisible(dialog) &&
                GetWindowThreadProcessId(dialog, &owner) && owner == GetCurrentProcessId())
                break;
        if (!dialog)
            continue;
        wchar_t text[1024] = {};
        GetDlgItemTextW(dialog, 0xFFFF, text, 1024); // the message box's text control
        {
            std::lock_guard<std::mutex> lock(mutex_);
            texts_.push_back(text);
        }
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        last = dialog;
    }
}

} // namespace test
