// Shared pieces of the tests.
#include "support/test_support.h"
#include "net/net.h"
#include "patch/patch_entry.h"

#include "log/log.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;

namespace test {

namespace {

std::wstring g_processDir;

// Once per test process: a folder of its own, holding the in-process log.
void InitProcess() {
    if (!g_processDir.empty())
        return;
    g_processDir = fs::temp_directory_path().wstring() + L"updater-tests-" +
                   std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
    fs::create_directory(g_processDir);
    fs::path previous = fs::current_path();
    fs::current_path(g_processDir);
    g_loggingEnabled = true;
    Logger::Write(L"INFO", L"test process started");
    fs::current_path(previous);
}

} // namespace

ScopedWorkDir::ScopedWorkDir(const std::wstring& parent) {
    InitProcess();
    static int counter = 0;
    previous_ = fs::current_path().wstring();
    path_ = (parent.empty() ? g_processDir : parent) + L"\\case" + std::to_wstring(++counter);
    fs::create_directory(path_);
    fs::current_path(path_);
}

ScopedWorkDir::~ScopedWorkDir() {
    fs::current_path(previous_);
    RemoveTree(path_);
}

LogCapture::LogCapture()
    : start_((InitProcess(), ReadFileBytes(g_processDir + L"\\velmora.log").size())) {}

// What was written since, with CR LF as LF and "YYYY-MM-DD HH:MM:SS - " after
// each line's level dropped.
std::string LogCapture::Text() const {
    std::string all = ReadFileBytes(g_processDir + L"\\velmora.log");
    all = all.size() < start_ ? "" : all.substr(start_);
    static const std::regex stamp(R"((^|\n)(\[[^\]\n]*\] )\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - )");
    return std::regex_replace(std::regex_replace(all, std::regex("\r\n"), "\n"), stamp, "$1$2");
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::error_code e;
    fs::create_directories(fs::path(path).parent_path(), e);
    std::ofstream out(fs::path(path), std::ios::binary);
    return out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush().good();
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary | std::ios::ate);
    std::string bytes(in ? static_cast<size_t>(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

long WaitForPath(const std::wstring& path, bool present, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (PathExists(path) != present) {
        if (GetTickCount() - start > timeoutMs)
            return -1;
        Sleep(1);
    }
    return static_cast<long>(GetTickCount() - start);
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

bool DirectoryExists(const std::wstring& path) {
    std::error_code e;
    return fs::is_directory(path, e);
}

bool PathExists(const std::wstring& path) {
    std::error_code e;
    return fs::exists(path, e);
}

void MakeDirs(const std::wstring& path) {
    std::error_code e;
    fs::create_directories(path, e);
}

void RemoveTree(const std::wstring& path) {
    std::error_code e;
    fs::remove_all(path, e);
}

std::wstring BuildDir() {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    return fs::path(std::wstring(module, n)).parent_path().parent_path(); // <build>\tests\x.exe
}

std::wstring HelperPath(const std::wstring& name) {
    return BuildDir() + L"\\helpers\\" + name + L".exe";
}

HANDLE StartProcess(const std::wstring& program, const std::wstring& arguments,
                    const std::wstring& workDir) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.c_str(), &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

ProcessResult RunProcess(const std::wstring& program, const std::wstring& arguments,
                         const std::wstring& workDir, DWORD timeoutMs) {
    ProcessResult result;
    HANDLE process = StartProcess(program, arguments, workDir);
    if (!process)
        return result;
    result.finished = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    GetExitCodeProcess(process, &result.exitCode);
    TerminateProcess(process, 99); // when still running
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
    return result;
}

bool StartAndKill(const std::wstring& program, const std::wstring& arguments,
                  const std::wstring& sign, DWORD delayMs) {
    HANDLE process = StartProcess(program, arguments, L".");
    if (!process)
        return false;
    const bool started = WaitForPath(sign, true, 30000) >= 0;
    Sleep(delayMs);
    TerminateProcess(process, 9);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    return started;
}

std::vector<std::wstring> DialogWatcher::texts_;

DialogWatcher::DialogWatcher()
    : hook_(SetWindowsHookExW(WH_CBT, Dismiss, nullptr, GetCurrentThreadId())) {
    texts_.clear();
}

// A message box is a dialog with a text control 0xFFFF; once it is active
// its text is read and its button pressed.
LRESULT CALLBACK DialogWatcher::Dismiss(int code, WPARAM wParam, LPARAM lParam) {
    HWND dialog = reinterpret_cast<HWND>(wParam);
    wchar_t text[1024] = {};
    if (code == HCBT_ACTIVATE && GetDlgItemTextW(dialog, 0xFFFF, text, 1024) > 0) {
        texts_.push_back(text);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void InstallRuntimeFiles(const std::vector<std::wstring>& except) {
    MakeDirs(L"system64");
    for (const std::wstring& path : RequiredSystemFiles(true)) {
        std::wstring name = SplitAtLastSeparator(path, Separators::Either).name;
        if (std::find(except.begin(), except.end(), name) != except.end())
            continue;
        if (name == L"Game.exe")
            CopyFileW(HelperPath(L"fake_game").c_str(), path.c_str(), FALSE);
        else
            WriteFileBytes(path, "runtime library " + Narrow(name));
    }
}

std::vector<std::string> WaitForLaunchRecord(DWORD timeoutMs) {
    std::string text;
    for (DWORD waited = 0; waited <= timeoutMs && (text.empty() || text.back() != '\n');
         waited += 50, Sleep(50))
        text = ReadFileBytes(L"launch-record.txt");
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string Narrow(const std::wstring& text) {
    return fs::path(text).u8string();
}

} // namespace test
