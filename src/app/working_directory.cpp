// The game folder's identity: the working directory as one spelling of its
// full path, so two spellings of the same folder compare equal.
#include "app/app.h"
#include "long_path.h"

std::wstring FoldPathCase(const std::wstring& text) {
    if (text.empty())
        return text;
    // Upper case the way the file system compares names, whatever the user's
    // language.
    std::wstring folded(text.size(), L'\0');
    int n = LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(),
                         static_cast<int>(text.size()), &folded[0], static_cast<int>(text.size()));
    return n > 0 ? folded.substr(0, static_cast<size_t>(n)) : text;
}

std::wstring FoldedWorkingDirectory() {
    const std::wstring full = FullPath(L".");
    if (full.empty())
        return {};
    // A folder given in 8.3 form is the same folder as its long form. A path
    // past MAX_PATH is asked for with the long-path prefix, which the answer
    // keeps and the lock's name must not.
    const std::wstring asked = FileSystemPath(full);
    const DWORD size = GetLongPathNameW(asked.c_str(), nullptr, 0);
    std::wstring longPath(size, L'\0');
    const DWORD n = size ? GetLongPathNameW(asked.c_str(), &longPath[0], size) : 0;
    if (n == 0 || n >= size || (asked != full && longPath.compare(0, 4, asked, 0, 4) != 0))
        return FoldPathCase(full);
    longPath.resize(n);
    if (asked.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        longPath.replace(0, 8, L"\\\\");
    else if (asked != full)
        longPath.erase(0, 4);
    return FoldPathCase(longPath);
}
