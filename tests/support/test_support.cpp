// Shared pieces of the tests.
#include "support/test_support.h"

#include "log/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <regex>

namespace test {

namespace {

std::wstring g_processDir;

std::wstring CurrentDir() {
    wchar_t buffer[MAX_PATH * 2];
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 2, buffer);
    return std::wstring(buffer, n);
}

std::wstring LogPath() {
    return g_processDir + L"\\velmora.log";
}

// Once per test process: a folder of its own, holding the in-process log.
void InitProcess() {
    static std::once_flag once;
    std::call_once(once, [] {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        g_processDir = std::wstring(temp) + L"updater-tests-" +
                       std::to_wstring(GetCurrentProcessId()) + L"-" +
                       std::to_wstring(GetTickCount());
        CreateDirectoryW(g_processDir.c_str(), nullptr);
        std::wstring previous = CurrentDir();
        SetCurrentDirectoryW(g_processDir.c_str());
        g_loggingEnabled = true;
        Logger::Write(L"INFO", L"test process started");
        SetCurrentDirectoryW(previous.c_str());
    });
}

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

ScopedWorkDir::ScopedWorkDir() {
    InitProcess();
    static std::atomic<int> counter{0};
    previous_ = CurrentDir();
    path_ = g_processDir + L"\\case" + std::to_wstring(++counter);
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
    SetCurrentDirectoryW(path_.c_str());
}

ScopedWorkDir::~ScopedWorkDir() {
    SetCurrentDirectoryW(previous_.c_str());
    RemoveTree(path_);
}

LogCapture::LogCapture() {
    InitProcess();
    start_ = FileSize(LogPath());
}

std::string LogCapture::Text() const {
    std::string all = ReadFileBytes(LogPath());
    if (static_cast<long long>(all.size()) < start_)
        return {};
    return StripTimestamps(all.substr(static_cast<size_t>(start_)));
}

std::string StripTimestamps(const std::string& text) {
    std::string lf;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lf += text[i];
    }
    static const std::regex stamp(R"((^|\n)(\[[^\]\n]*\] )\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - )");
    return std::regex_replace(lf, stamp, "$1$2");
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(h);
    return bytes;
}

bool FileExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeDirs(const std::wstring& path) {
    for (size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == L'\\' || path[i] == L'/')
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

void RemoveTree(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                RemoveTree(path + L"\\" + name);
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

std::wstring BuildDir() {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    std::wstring path(module, n);
    // <build>\tests\<name>.exe
    for (int level = 0; level < 2; ++level)
        path = path.substr(0, path.find_last_of(L'\\'));
    return path;
}

std::wstring ProductPath() {
    return BuildDir() + L"\\updater.exe";
}

std::wstring HelperPath(const std::wstring& name) {
    return BuildDir() + L"\\helpers\\" + name + L".exe";
}

ProcessResult RunProcess(const std::wstring& program, const std::wstring& arguments,
                         const std::wstring& workDir, DWORD timeoutMs) {
    ProcessResult result;
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.c_str(), &si, &pi))
        return result;
    result.started = true;
    CloseHandle(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        result.finished = true;
        GetExitCodeProcess(pi.hProcess, &result.exitCode);
    } else {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hProcess);
    return result;
}

void InstallRuntimeFiles(const std::vector<std::wstring>& except) {
    const wchar_t* files[] = {L"Crashlog-x64.dll", L"Game.exe",   L"EngineCore.dll",
                              L"MediaLib.dll",     L"AudioMix.dll", L"GfxUtil.dll",
                              L"Presence.dll",     L"NetFetch-x64.dll"};
    CreateDirectoryW(L"system64", nullptr);
    for (const wchar_t* name : files) {
        std::wstring path = std::wstring(L"system64\\") + name;
        bool skip = false;
        for (const auto& e : except)
            skip = skip || e == name || e == path;
        if (skip)
            continue;
        if (std::wstring(name) == L"Game.exe")
            CopyFileW(HelperPath(L"fake_game").c_str(), path.c_str(), FALSE);
        else
            WriteFileBytes(path, "runtime library " + Narrow(name));
    }
}

std::vector<std::string> WaitForLaunchRecord(DWORD timeoutMs) {
    std::vector<std::string> lines;
    for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
        std::string text = ReadFileBytes(L"launch-record.txt");
        if (!text.empty() && text.back() == '\n') {
            size_t start = 0, end;
            while ((end = text.find('\n', start)) != std::string::npos) {
                lines.push_back(text.substr(start, end - start));
                start = end + 1;
            }
            return lines;
        }
        Sleep(50);
    }
    return lines;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                        nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

} // namespace test
