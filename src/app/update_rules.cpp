// Command line, progress arithmetic and the installation lock's name.
#include "app/update_rules.h"

#include <cwchar>

bool IsUpdateCommandLine(const wchar_t* commandLine) {
    return commandLine && std::wcsstr(commandLine, L"update") != nullptr;
}

int ProgressPosition(std::size_t k, std::size_t n) {
    // Single precision on purpose: with 100 entries the 53rd sends 52, and the
    // bar shown to players has always moved that way.
    volatile float quotient = static_cast<float>(k) / static_cast<float>(n);
    volatile float scaled = quotient * 100.0f;
    return static_cast<int>(scaled);
}

std::wstring InstallationLockName(const std::wstring& foldedDirectory) {
    size_t length = foldedDirectory.size();
    while (length > 0 && foldedDirectory[length - 1] == L'\\')
        --length;
    // FNV-1a over the UTF-16 code units: 64 bits make two folders on one
    // machine sharing a name practically impossible.
    unsigned long long hash = 14695981039346656037ull;
    for (size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned short>(foldedDirectory[i]);
        hash *= 1099511628211ull;
    }
    const wchar_t digits[] = L"0123456789abcdef";
    std::wstring name = L"Local\\VelmoraUpdater-";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += digits[(hash >> shift) & 0xF];
    return name;
}
