// Cleaning and checking patch entries, and splitting paths.
#include "patch/patch_entry.h"

bool IsPathSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

PathSplit SplitAtLastSeparator(const std::wstring& path, Separators separators) {
    const size_t cut =
        separators == Separators::Either ? path.find_last_of(L"\\/") : path.rfind(L'\\');
    if (cut == std::wstring::npos)
        return {false, {}, path};
    return {true, path.substr(0, cut), path.substr(cut + 1)};
}

namespace {

// Windows drops trailing dots and spaces from names, so ". ." or ".. " can
// end up meaning "..": anything made only of dots and spaces with two or more
// dots is treated as a parent reference.
bool IsParentComponent(const std::wstring& path, size_t begin, size_t end) {
    size_t dots = 0;
    for (size_t i = begin; i < end; ++i) {
        if (path[i] == L'.')
            ++dots;
        else if (path[i] != L' ')
            return false;
    }
    return dots >= 2;
}

} // namespace

std::wstring CleanPatchEntry(const std::wstring& entry) {
    std::wstring path;
    path.reserve(entry.size());
    for (wchar_t c : entry)
        if (c != L'"')
            path += c;
    const wchar_t* blanks = L" \t";
    size_t first = path.find_first_not_of(blanks);
    if (first == std::wstring::npos)
        return {};
    size_t last = path.find_last_not_of(blanks);
    return path.substr(first, last - first + 1);
}

bool IsUnsafePatchPath(const std::wstring& cleaned) {
    if (!cleaned.empty() && IsPathSeparator(cleaned[0]))
        return true;
    if (cleaned.find(L':') != std::wstring::npos || cleaned.find(L'\0') != std::wstring::npos)
        return true;
    size_t begin = 0;
    for (size_t i = 0; i <= cleaned.size(); ++i) {
        if (i == cleaned.size() || IsPathSeparator(cleaned[i])) {
            if (IsParentComponent(cleaned, begin, i))
                return true;
            begin = i + 1;
        }
    }
    return false;
}

std::wstring PatchSourcePath(const std::wstring& cleaned) {
    return L"download\\" + cleaned;
}

std::vector<std::wstring>
SelectEntriesToRetry(const std::vector<std::wstring>& entries, const std::vector<bool>& failed,
                     const std::function<bool(const std::wstring& source)>& sourceIsFile) {
    std::vector<std::wstring> kept;
    for (size_t i = 0; i < entries.size() && i < failed.size(); ++i) {
        if (!failed[i])
            continue;
        std::wstring cleaned = CleanPatchEntry(entries[i]);
        if (IsUnsafePatchPath(cleaned))
            continue;
        if (sourceIsFile(PatchSourcePath(cleaned)))
            kept.push_back(entries[i]);
    }
    return kept;
}
