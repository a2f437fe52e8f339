// Dismisses the message boxes of the code under test, as a player would:
// a background thread finds each dialog of this process captioned "Error",
// records its text and presses its button.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test {

class DialogWatcher {
  public:
    DialogWatcher() : thread_([this] { Run(); }) {}
    ~DialogWatcher() {
        stop_ = true;
        thread_.join();
    }
    // The texts of the dialogs dismissed so far, in order.
    std::vector<std::wstring> Texts() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

  private:
    void Run();

    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::wstring> texts_;
    std::thread thread_;
};

} // namespace test
