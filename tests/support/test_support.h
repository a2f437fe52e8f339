// Shared pieces of the tests: throw-away game folders, file helpers, the log
// of the test process, message boxes, and starting the built programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test {

// A fresh, empty folder made the working directory (the game folder) for the
// test's lifetime, then deleted with everything in it; made in the test
// process's own folder, or in parent.
class ScopedWorkDir {
  public:
    explicit ScopedWorkDir(const std::wstring& parent = L"");
    ~ScopedWorkDir();
    const std::wstring& path() const { return path_; }

  private:
    std::wstring previous_, path_;
};

// What the in-process log got after the capture was made, each line's
// timestamp removed: "[INFO] message\n". The log stream stays on the file it
// opened first, so the test process opens it once, outside every ScopedWorkDir.
class LogCapture {
  public:
    LogCapture();
    std::string Text() const;

  private:
    size_t start_;
};

// Dismisses the message boxes shown on this thread while it lives, as a
// player would, and keeps their texts in order.
class DialogWatcher {
  public:
    DialogWatcher();
    ~DialogWatcher() { UnhookWindowsHookEx(hook_); }
    std::vector<std::wstring> Texts() const { return texts_; }

  private:
    static LRESULT CALLBACK Dismiss(int code, WPARAM wParam, LPARAM lParam);
    static std::vector<std::wstring> texts_;
    HHOOK hook_;
};

bool WriteFileBytes(const std::wstring& path, const std::string& bytes); // makes its folders
// Milliseconds until path exists (or, with present false, is gone); -1 when
// that takes longer than timeoutMs.
long WaitForPath(const std::wstring& path, bool present, DWORD timeoutMs);
size_t CountOf(const std::string& text, const std::string& part);
std::string ReadFileBytes(const std::wstring& path); // empty when it cannot be read
bool PathExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);
void MakeDirs(const std::wstring& path);
void RemoveTree(const std::wstring& path);
std::string Narrow(const std::wstring& text); // UTF-8

std::wstring BuildDir(); // the build's folder, holding updater.exe and helpers\<name>.exe
std::wstring HelperPath(const std::wstring& name);

struct ProcessResult {
    bool finished = false; // false: not started, or killed after the time-out
    DWORD exitCode = 0;
};
// Starts program with the given command-line tail in workDir; null when it
// could not be started. The caller closes the process handle.
HANDLE StartProcess(const std::wstring& program, const std::wstring& arguments,
                    const std::wstring& workDir);
// Runs program with the given command-line tail in workDir and waits.
ProcessResult RunProcess(const std::wstring& program, const std::wstring& arguments,
                         const std::wstring& workDir, DWORD timeoutMs = 60000);

// Starts program in the working directory, waits until the path sign exists
// and then delayMs more, and kills it; false when sign never appeared.
bool StartAndKill(const std::wstring& program, const std::wstring& arguments,
                  const std::wstring& sign, DWORD delayMs);

// Puts the eight 64-bit runtime files, but those named in `except`, in
// system64\. Game.exe is the stand-in game, which records how it was started
// in launch-record.txt; WaitForLaunchRecord gives its lines, or none.
void InstallRuntimeFiles(const std::vector<std::wstring>& except = {});
std::vector<std::string> WaitForLaunchRecord(DWORD timeoutMs = 15000);

} // namespace test
