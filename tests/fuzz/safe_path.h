// What must hold for every cleaned patch entry, and for every one that the
// unsafe-path check lets through.
#pragma once

#include "fuzz/fuzz_input.h"
#include "patch/patch_entry.h"

#include <algorithm>

inline bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

inline void CheckCleaned(const std::wstring& path) {
    FUZZ_CHECK(path.find(L'"') == std::wstring::npos);
    FUZZ_CHECK(path.empty() || (!IsBlank(path.front()) && !IsBlank(path.back())));
    FUZZ_CHECK(CleanPatchEntry(path) == path);
}

// No way out of the installation: no leading separator (root, UNC, device), no
// colon (drive, stream), no NUL, and no component that Windows reads as the
// parent once it has dropped the trailing dots and spaces of a name.
inline void CheckSafe(const std::wstring& path) {
    auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    FUZZ_CHECK(path.empty() || !separator(path.front()));
    FUZZ_CHECK(path.find(L':') == std::wstring::npos);
    FUZZ_CHECK(path.find(L'\0') == std::wstring::npos);
    for (auto begin = path.begin();;) {
        const auto end = std::find_if(begin, path.end(), separator);
        const std::wstring component(begin, end);
        const bool onlyDotsAndSpaces = component.find_first_not_of(L". ") == std::wstring::npos;
        FUZZ_CHECK(!(onlyDotsAndSpaces && std::count(begin, end, L'.') >= 2));
        if (end == path.end())
            break;
        begin = end + 1;
    }
    // The directory made before the move lies inside as well.
    const PathSplit split = SplitAtLastSeparator(path, Separators::BackslashOnly);
    FUZZ_CHECK(split.name.find(L'\\') == std::wstring::npos);
    if (split.hasSeparator) {
        FUZZ_CHECK(split.directory + L'\\' + split.name == path);
        FUZZ_CHECK(!split.directory.empty() && !IsUnsafePatchPath(split.directory));
    } else {
        FUZZ_CHECK(split.name == path && split.directory.empty());
    }
}
