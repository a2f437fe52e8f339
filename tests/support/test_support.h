// Shared pieces of the tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test {

// A fresh working directory (the game folder) for its lifetime, in the test
// process's own folder or in parent.
class ScopedWorkDir {
  public:
    explicit ScopedWorkDir(const std::wstring& parent = L"");
    ~ScopedWorkDir();
    const std::wstring& path() const { return path_; }

  private:
    std::wstring previous_, path_;
};

// The in-process log since the capture was made, stamps removed: "[INFO] x\n".
struct LogCapture {
    LogCapture();
    std::string Text() const;
    const size_t start;
};

// Dismisses this thread's message boxes while it lives and keeps their texts,
// each marked " (covered)" when another window of the process stood over it.
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
std::string ReadFileBytes(const std::wstring& path); // empty when it cannot be read
bool PathExists(const std::wstring& path);
std::vector<std::wstring> ListFolder(const std::wstring& path); // the names in it
void MakeDirs(const std::wstring& path);
void RemoveTree(const std::wstring& path);
std::string Narrow(const std::wstring& text); // UTF-8
size_t CountOf(const std::string& text, const std::string& part);
// Milliseconds until path exists (or, present false, is gone); -1 after timeoutMs.
long WaitForPath(const std::wstring& path, bool present, DWORD timeoutMs);

std::wstring BuildDir(); // holds updater.exe and helpers\<name>.exe
const std::wstring& Updater();
// In the working directory; null when it could not. The caller closes it.
HANDLE StartProcess(const std::wstring& program, const std::wstring& arguments);
// False (and killed) when it did not end within timeoutMs.
bool RunProcess(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs);

// helpers\holder.exe holding the files in mode (library, shared, exclusive,
// locked) until the handle's process is ended; null when it could not.
HANDLE HoldFiles(const std::wstring& mode, const std::vector<std::wstring>& paths);
// Ends a process and closes its handle.
void EndProcess(HANDLE process);

// The 64-bit runtime files but those in `except`; Game.exe is the stand-in
// game, which appends its command line and folder to launch-record.txt.
void InstallRuntimeFiles(const std::vector<std::wstring>& except = {});
std::vector<std::string> WaitForLaunchRecord(DWORD timeoutMs = 15000);

// tools/https_server.py's sites, "mirror\..." and "server\..." (see there for
// the fault paths and .serve options); ServerUrl gives a listener's
// "https://localhost:<port>" (http:// for "http") and then path.
void ClearSites();
bool PutSiteFile(const std::wstring& path, const std::string& bytes);
std::wstring ServerUrl(const std::string& listener, const std::wstring& path);
// The port of name in a "name=port" file under the build folder; 0 if none.
int Port(const std::wstring& file, const std::string& name);

// The requests logged since: "listener TAB method TAB target TAB user-agent
// TAB range TAB if-range" each; Column(k) gives field k (from 0) of each.
struct RequestLog {
    RequestLog();
    std::vector<std::string> Column(int k) const;
    const size_t start;
};

} // namespace test
