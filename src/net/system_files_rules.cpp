// Lists and figures of the required runtime files.
#include "net/system_files_rules.h"
#include "net/runtime_files.inc"

#include <algorithm>
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

int StepPercent(int from, int to, std::uint64_t received, std::uint64_t expected) {
    if (expected == 0 || to <= from)
        return from;
    if (received >= expected)
        return to;
    const std::uint64_t span = static_cast<std::uint64_t>(to - from);
    // Exact while received * span fits; beyond (exabytes) near enough.
    const std::uint64_t part = received <= UINT64_MAX / span ? received * span / expected
                                                             : received / (expected / span + 1);
    return from + static_cast<int>(std::min<std::uint64_t>(part, span));
}
