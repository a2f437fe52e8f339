// Any bytes as patchlist.txt: the line split, the list saved for the next run,
// and each entry's cleaning and safety check before a file would be moved.
#include "fuzz/fuzz_input.h"
#include "fuzz/safe_path.h"
#include "patch/patch_entry.h"
#include "patch/patch_text.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::wstring> entries = SplitPatchListBytes(bytes);
    // One entry per LF, and one for an unended last line.
    const std::size_t lines = std::count(bytes.begin(), bytes.end(), '\n');
    FUZZ_CHECK(entries.size() == lines + (size > 0 && bytes.back() != '\n'));
    // A kept list reads back as the same entries.
    FUZZ_CHECK(SplitPatchListBytes(PatchListBytes(entries)) == entries);

    std::vector<std::wstring> safe;
    for (const std::wstring& entry : entries) {
        FUZZ_CHECK(entry.find(L'\n') == std::wstring::npos);
        FUZZ_CHECK(std::all_of(entry.begin(), entry.end(), [](wchar_t c) { return c <= 0xFF; }));
        const std::wstring path = CleanPatchEntry(entry);
        CheckCleaned(path);
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
