// Any bytes as patchlist.txt: the choice of encoding, the line split, the
// list saved for the next run, and each entry's cleaning and safety check
// before a file would be moved.
#include "fuzz/fuzz_input.h"
#include "patch/patch_entry.h"
#include "patch/patch_text.h"

#include <algorithm>

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// No way out of the installation: no leading separator (root, UNC, device), no
// colon (drive, stream), no NUL, and no component that Windows reads as the
// parent once it has dropped the trailing dots and spaces of a name.
void CheckSafe(const std::wstring& path) {
    FUZZ_CHECK(path.empty() || !IsSeparator(path.front()));
    FUZZ_CHECK(path.find_first_of(std::wstring(L":\0", 2)) == std::wstring::npos);
    for (auto begin = path.begin();; ++begin) {
        const auto end = std::find_if(begin, path.end(), IsSeparator);
        const bool onlyDotsAndSpaces =
            std::all_of(begin, end, [](wchar_t c) { return c == L'.' || c == L' '; });
        FUZZ_CHECK(!(onlyDotsAndSpaces && std::count(begin, end, L'.') >= 2));
        if ((begin = end) == path.end())
            break;
    }
    // The directory made before the move lies inside as well.
    const PathSplit split = SplitAtLastSeparator(path, Separators::BackslashOnly);
    FUZZ_CHECK(split.name.find(L'\\') == std::wstring::npos);
    FUZZ_CHECK((split.hasSeparator ? split.directory + L'\\' : L"") + split.name == path);
    FUZZ_CHECK(split.hasSeparator || split.directory.empty());
    FUZZ_CHECK(!split.hasSeparator ||
               (!split.directory.empty() && !IsUnsafePatchPath(split.directory)));
}

// A list that is not UTF-8 reads as it always has: every byte one character,
// the lines as text mode splits them.
void CheckSingleBytes(const std::string& bytes, const std::vector<std::wstring>& entries) {
    std::string joined;
    for (const std::wstring& entry : entries) {
        FUZZ_CHECK(std::all_of(entry.begin(), entry.end(), [](wchar_t c) { return c <= 0xFF; }));
        joined.append(entry.begin(), entry.end());
        joined += '\n';
    }
    std::string expected;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            expected += bytes[i];
    if (!expected.empty() && expected.back() != '\n')
        expected += '\n';
    FUZZ_CHECK(joined == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const PatchListEncoding encoding = PatchListEncodingOf(bytes);
    const std::vector<std::wstring> entries = SplitPatchListBytes(bytes, encoding);
    // One entry per LF, and one for an unended last line.
    if (encoding == PatchListEncoding::Utf16Le || encoding == PatchListEncoding::Utf16Be) {
        const int low = encoding == PatchListEncoding::Utf16Be;
        std::size_t lines = 0;
        for (std::size_t i = 2; i + 1 < size; i += 2)
            lines += bytes[i + low] == '\n' && bytes[i + 1 - low] == '\0';
        const bool ended = size >= 4 && size % 2 == 0 && bytes[size - 2 + low] == '\n' &&
                           bytes[size - 1 - low] == '\0';
        FUZZ_CHECK(entries.size() == lines + (size > 2 && !ended));
    } else {
        const std::size_t lines = std::count(bytes.begin(), bytes.end(), '\n');
        const bool marked = encoding == PatchListEncoding::Utf8WithMark;
        FUZZ_CHECK(entries.size() == lines + (size > (marked ? 3u : 0u) && bytes.back() != '\n'));
    }
    if (encoding == PatchListEncoding::SingleByte)
        CheckSingleBytes(bytes, entries);
    // A kept list reads back as the same entries, in the same encoding.
    const std::string kept = PatchListBytes(entries, encoding);
    FUZZ_CHECK(PatchListEncodingOf(kept) == encoding);
    FUZZ_CHECK(SplitPatchListBytes(kept, encoding) == entries);

    std::vector<std::wstring> safe;
    for (const std::wstring& entry : entries) {
        FUZZ_CHECK(entry.find(L'\n') == std::wstring::npos);
        const std::wstring path = CleanPatchEntry(entry);
        FUZZ_CHECK(path.find(L'"') == std::wstring::npos);
        FUZZ_CHECK(path.empty() || (!IsBlank(path.front()) && !IsBlank(path.back())));
        FUZZ_CHECK(CleanPatchEntry(path) == path);
        if (IsUnsafePatchPath(path))
            continue;
        CheckSafe(path);
        safe.push_back(entry);
    }
    // Of entries that all failed with their files still waiting, exactly the
    // safe ones are kept, in order.
    const std::vector<bool> failed(entries.size(), true);
    FUZZ_CHECK(SelectEntriesToRetry(entries, failed, [](const std::wstring&) { return true; }) ==
               safe);
    return 0;
}
