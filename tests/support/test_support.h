// Shared pieces of the tests: throw-away game folders, file helpers, the log
// of the test process, starting the built programs, and message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test {

// A fresh, empty folder made the working directory for the test's lifetime,
// then deleted with everything in it. The program works relative to the
// working directory, so this is its game folder.
class ScopedWorkDir {
  public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    const std::wstring& path() const { return path_; }

  private:
    std::wstring previous_, path_;
};

// The in-process log: the log stream stays open on the file it opened first,
// so the test process opens it once in its own folder, outside every
// ScopedWorkDir. A capture reads what was written after it was made, with
// each line's timestamp removed: "[INFO] message\n".
class LogCapture {
  public:
    LogCapture();
    std::string Text() const;

  private:
    size_t start_;
};

// Dismisses the message boxes that the code under test shows on this thread
// while it lives, as a player would, and keeps their texts in order.
class DialogWatcher {
  public:
    DialogWatcher();
    ~DialogWatcher();
    std::vector<std::wstring> Texts() const;

  private:
    HHOOK hook_;
};

// Writes the file, making the folders it needs.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The file's bytes; empty when it cannot be read (use FileExists to tell).
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path); // a file, not a directory
bool DirectoryExists(const std::wstring& path);
bool PathExists(const std::wstring& path);
void MakeDirs(const std::wstring& path); // every level, either separator
void RemoveTree(const std::wstring& path);

std::wstring BuildDir();                           // the build's folder, holding updater.exe
std::wstring ProductPath();                        // updater.exe
std::wstring HelperPath(const std::wstring& name); // helpers\<name>.exe

struct ProcessResult {
    bool finished = false; // false: not started, or killed after the time-out
    DWORD exitCode = 0;
};
// Starts program with the given command-line tail in workDir and waits.
ProcessResult RunProcess(const std::wstring& program, const std::wstring& arguments,
                         const std::wstring& workDir, DWORD timeoutMs = 60000);

// Puts the eight 64-bit runtime files in the working directory's system64\,
// leaving out those named in `except`; Game.exe is the stand-in game, which
// records how it was started in launch-record.txt.
void InstallRuntimeFiles(const std::vector<std::wstring>& except = {});
// Waits up to timeoutMs for the stand-in game's record; its lines, or none.
std::vector<std::string> WaitForLaunchRecord(DWORD timeoutMs = 15000);

std::string Narrow(const std::wstring& text); // UTF-8, for messages

} // namespace test
