// Shared pieces of the tests.
#include "support/test_support.h"
#include "log/log.h"
#include "launch/launch.h"
#include "patch/patch.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <utility>

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

std::vector<std::string> Split(const std::string& text, char end = '\n') {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, end);)
        parts.push_back(part);
    return parts;
}

// A file's bytes from start on (none if it has shrunk since).
std::string Since(const std::wstring& path, size_t start) {
    const std::string all = ReadFileBytes(path);
    return all.size() < start ? "" : all.substr(start);
}

const wchar_t kRequests[] = L"\\test-server\\requests.log"; // in BuildDir()

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
    : start((InitProcess(), ReadFileBytes(g_processDir + L"\\velmora.log").size())) {}

// CR LF as LF, and "YYYY-MM-DD HH:MM:SS - " after each line's level dropped:
// a wrong layout fails every comparison of a log.
std::string LogCapture::Text() const {
    const std::string all = Since(g_processDir + L"\\velmora.log", start);
    static const std::regex stamp(R"((^|\n)(\[[^\]\n]*\] )\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - )");
    return std::regex_replace(std::regex_replace(all, std::regex("\r\n"), "\n"), stamp, "$1$2");
}

std::vector<std::wstring> DialogWatcher::texts_;

DialogWatcher::DialogWatcher()
    : hook_(SetWindowsHookExW(WH_CBT, Dismiss, nullptr, GetCurrentThreadId())) {
    texts_.clear();
}

namespace {

// Whether a visible window of this process stands above the box, over it.
bool Covered(HWND box) {
    RECT at = {}, other = {}, both = {};
    GetWindowRect(box, &at);
    for (HWND w = GetWindow(box, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV)) {
        DWORD process = 0;
        GetWindowThreadProcessId(w, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(w) && GetWindowRect(w, &other) &&
            IntersectRect(&both, &at, &other))
            return true;
    }
    return false;
}

} // namespace

// A message box is a dialog with a text control 0xFFFF.
LRESULT CALLBACK DialogWatcher::Dismiss(int code, WPARAM wParam, LPARAM lParam) {
    HWND dialog = reinterpret_cast<HWND>(wParam);
    wchar_t text[1024] = {};
    if (code == HCBT_ACTIVATE && GetDlgItemTextW(dialog, 0xFFFF, text, 1024) > 0) {
        texts_.push_back(text + std::wstring(Covered(dialog) ? L" (covered)" : L""));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    MakeDirs(fs::path(path).parent_path());
    std::ofstream out(fs::path(path), std::ios::binary);
    return out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush().good();
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::error_code g_ignored;

bool PathExists(const std::wstring& path) {
    return fs::exists(path, g_ignored);
}

std::vector<std::wstring> ListFolder(const std::wstring& path) {
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(path, g_ignored))
        names.push_back(entry.path().filename().wstring());
    return names;
}

void MakeDirs(const std::wstring& path) {
    fs::create_directories(path, g_ignored);
}

void RemoveTree(const std::wstring& path) {
    fs::remove_all(path, g_ignored);
}

std::string Narrow(const std::wstring& text) {
    return fs::path(text).u8string();
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

long WaitForPath(const std::wstring& path, bool present, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (; PathExists(path) != present; Sleep(1))
        if (GetTickCount() - start > timeoutMs)
            return -1;
    return static_cast<long>(GetTickCount() - start);
}

std::wstring BuildDir() {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    return fs::path(std::wstring(module, n)).parent_path().parent_path(); // <build>\tests\x.exe
}

const std::wstring& Updater() {
    static const std::wstring path = BuildDir() + L"\\updater.exe";
    return path;
}

HANDLE StartProcess(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

bool RunProcess(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
    HANDLE process = StartProcess(program, arguments);
    if (!process)
        return false;
    const bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    TerminateProcess(process, 99);
    WaitForSingleObject(process, 5000);
    return CloseHandle(process) && ended;
}

HANDLE HoldFiles(const std::wstring& mode, const std::vector<std::wstring>& paths) {
    static int count = 0;
    const std::wstring name =
        L"holder-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++count);
    std::wstring arguments = mode + L" " + name;
    for (const std::wstring& path : paths)
        arguments += L" \"" + path + L"\"";
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    HANDLE process = StartProcess(BuildDir() + L"\\helpers\\holder.exe", arguments);
    const HANDLE both[] = {ready, process};
    const DWORD waited = process ? WaitForMultipleObjects(2, both, FALSE, 10000) : WAIT_FAILED;
    DWORD code = 0;
    if (waited != WAIT_OBJECT_0 && !(process && GetExitCodeProcess(process, &code)))
        code = GetLastError();
    CloseHandle(ready);
    if (waited != WAIT_OBJECT_0) {
        std::fprintf(stderr, "holder %ls: wait %lu, code %lu\n", mode.c_str(), waited, code);
        if (process)
            EndProcess(std::exchange(process, nullptr));
    }
    return process;
}

void EndProcess(HANDLE process) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

void InstallRuntimeFiles(const std::vector<std::wstring>& except) {
    MakeDirs(L"system64");
    for (const std::wstring& path : RequiredSystemFiles(true)) {
        std::wstring name = SplitAtLastSeparator(path, Separators::Either).name;
        if (std::find(except.begin(), except.end(), name) != except.end())
            continue;
        if (name == L"Game.exe")
            CopyFileW((BuildDir() + L"\\helpers\\fake_game.exe").c_str(), path.c_str(), FALSE);
        else
            WriteFileBytes(path, "runtime library " + Narrow(name));
    }
}

std::vector<std::string> WaitForLaunchRecord(DWORD timeoutMs) {
    std::string text;
    for (DWORD waited = 0; waited <= timeoutMs && (text.empty() || text.back() != '\n');
         waited += 50, Sleep(50))
        text = ReadFileBytes(L"launch-record.txt");
    return text.empty() || text.back() != '\n' ? std::vector<std::string>() : Split(text);
}

void ClearSites() {
    RemoveTree(BuildDir() + L"\\https-root");
    MakeDirs(BuildDir() + L"\\https-root\\mirror");
    MakeDirs(BuildDir() + L"\\https-root\\server");
}

bool PutSiteFile(const std::wstring& path, const std::string& bytes) {
    return WriteFileBytes(BuildDir() + L"\\https-root\\" + path, bytes);
}

std::wstring ServerUrl(const std::string& listener, const std::wstring& path) {
    return (listener == "http" ? L"http" : L"https") + std::wstring(L"://localhost:") +
           std::to_wstring(Port(L"test-server\\ports.txt", listener)) + path;
}

int Port(const std::wstring& file, const std::string& name) {
    for (const std::string& line : Split(ReadFileBytes(BuildDir() + L"\\" + file)))
        if (line.compare(0, name.size() + 1, name + "=") == 0)
            return std::stoi(line.substr(name.size() + 1));
    return 0;
}

RequestLog::RequestLog() : start(ReadFileBytes(BuildDir() + kRequests).size()) {}

std::vector<std::string> RequestLog::Column(int k) const {
    std::vector<std::string> column;
    for (const std::string& line : Split(Since(BuildDir() + kRequests, start))) {
        const std::vector<std::string> fields = Split(line, '\t');
        column.push_back(static_cast<size_t>(k) < fields.size() ? fields[k] : "");
    }
    return column;
}

} // namespace test
