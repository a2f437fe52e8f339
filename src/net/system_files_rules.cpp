// Lists and figures of the required runtime files.
#include "net/system_files_rules.h"
#include "net/runtime_files.inc"

#include <iterator>

std::vector<std::wstring> RequiredSystemFiles(bool native64Bit) {
    // runtime_files.inc: the build's rendering of runtime_files.txt.
    static const wchar_t* const kFiles64[] = {UPDATER_RUNTIME_FILES_64};
    static const wchar_t* const kFiles32[] = {UPDATER_RUNTIME_FILES_32};
    if (native64Bit)
        return {std::begin(kFiles64), std::end(kFiles64)};
    return {std::begin(kFiles32), std::end(kFiles32)};
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
