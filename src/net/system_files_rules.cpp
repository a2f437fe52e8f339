// Lists and figures of the required runtime files.
#include "net/system_files_rules.h"

std::vector<std::wstring> RequiredSystemFiles(bool native64Bit) {
    if (native64Bit)
        return {L"system64\\Crashlog-x64.dll", L"system64\\Game.exe",
                L"system64\\EngineCore.dll",   L"system64\\MediaLib.dll",
                L"system64\\AudioMix.dll",     L"system64\\GfxUtil.dll",
                L"system64\\Presence.dll",     L"system64\\NetFetch-x64.dll"};
    return {L"system32\\Crashlog.dll", L"system32\\Game.exe",     L"system32\\EngineCore.dll",
            L"system32\\MediaLib.dll", L"system32\\AudioMix.dll", L"system32\\GfxUtil.dll",
            L"system32\\Presence.dll", L"system32\\NetFetch.dll"};
}

std::wstring DisplayName(const std::wstring& entry) {
    size_t cut = entry.find_last_of(L"\\/");
    return cut == std::wstring::npos ? entry : entry.substr(cut + 1);
}

std::wstring DirectoryOf(const std::wstring& entry) {
    size_t cut = entry.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : entry.substr(0, cut);
}

int DownloadPercent(std::size_t i, std::size_t n) {
    return static_cast<int>(80 * (i + 1) / n) + 10;
}
