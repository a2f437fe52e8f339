// The game folder's identity: the working directory as one spelling of its
// full path, so two spellings of the same folder compare equal.
#include "app/app.h"

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
    wchar_t full[MAX_PATH * 4];
    DWORD n = GetFullPathNameW(L".", MAX_PATH * 4, full, nullptr);
    if (n == 0 || n >= MAX_PATH * 4)
        return {};
    // A folder given in 8.3 form is the same folder as its long form.
    wchar_t longPath[MAX_PATH * 4];
    DWORD m = GetLongPathNameW(full, longPath, MAX_PATH * 4);
    return FoldPathCase(m > 0 && m < MAX_PATH * 4 ? longPath : full);
}
