// Finding and dismissing "Error" message boxes.
#include "support/dialog_watcher.h"

namespace test {

DialogWatcher::DialogWatcher() : thread_([this] { Run(); }) {}

DialogWatcher::~DialogWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<std::wstring> DialogWatcher::Texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

void DialogWatcher::Run() {
    HWND last = nullptr;
    while (!stop_) {
        HWND dialog = FindWindowW(L"#32770", L"Error");
        if (dialog && dialog != last && IsWindowVisible(dialog)) {
            // 0xFFFF is the message box's text control.
            wchar_t text[1024] = {};
            GetDlgItemTextW(dialog, 0xFFFF, text, 1024);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                texts_.push_back(text);
            }
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
            last = dialog;
        }
        Sleep(50);
    }
}

} // namespace test
