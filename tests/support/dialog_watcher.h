// Dismisses the message boxes of the code under test, as a player would:
// a background thread finds each dialog captioned "Error" (in this process or
// a child), records its text and presses its button.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test {

class DialogWatcher {
  public:
    DialogWatcher();
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    // The texts of the dialogs dismissed so far, in order.
    std::vector<std::wstring> Texts() const;

  private:
    void Run();

    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::wstring> texts_;
    std::thread thread_;
};

} // namespace test
