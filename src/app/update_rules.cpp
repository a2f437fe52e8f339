// Command line, progress arithmetic, outcome texts and whose game to end.
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

std::wstring IncompleteUpdateText(std::size_t failed, std::size_t total) {
    return L"Update incomplete: " + std::to_wstring(failed) + L" of " + std::to_wstring(total) +
           L" files failed";
}

std::wstring KeptPatchListText(std::size_t kept) {
    return L"patchlist.txt kept for " + std::to_wstring(kept) + L" files.";
}

bool PathLiesInside(const std::wstring& path, const std::wstring& directory) {
    if (directory.empty())
        return false;
    std::wstring prefix = directory;
    if (prefix.back() != L'\\')
        prefix += L'\\';
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}
