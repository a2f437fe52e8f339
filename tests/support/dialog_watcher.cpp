// Finding and dismissing "Error" message boxes.
#include "support/dialog_watcher.h"

#include <tlhelp32.h>

namespace test {

namespace {

// Dialogs of this process or of a program it started; other tests running at
// the same time have their own.
bool IsOurs(HWND dialog) {
    DWORD owner = 0;
    GetWindowThreadProcessId(dialog, &owner);
    const DWORD self = GetCurrentProcessId();
    if (owner == self)
        return true;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool child = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !child;
         more = Process32NextW(snapshot, &entry))
        child = entry.th32ProcessID == owner && entry.th32ParentProcessID == self;
    CloseHandle(snapshot);
    return child;
}

} // namespace

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
        HWND dialog = nullptr;
        while ((dialog = FindWindowExW(nullptr, dialog, L"#32770", L"Error")) != nullptr)
            if (dialog != last && IsWindowVisible(dialog) && IsOurs(dialog))
                break;
        if (dialog) {
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
