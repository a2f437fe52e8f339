// What patchlist.txt's bytes and each entry mean (cleaning, the unsafe-path
// check, the directory part), and how long a refused move waits.
#include "patch/move_retry.h"
#include "patch/patch_entry.h"
#include "patch/patch_text.h"

#include <gtest/gtest.h>

// Valid UTF-8 read as UTF-8 (a byte-order mark dropped), anything else one
// character per byte; text-mode line ends either way.
TEST(PatchList, BytesBecomeEntries) {
    const std::wstring accented = L"d\u00E9j\u00E0\\caf\u00E9.txt";
    struct Case {
        std::string bytes;
        std::vector<std::wstring> entries;
    } cases[] = {
        {"", {}},
        {"\n\n", {L"", L""}},
        {"a\r\n\r\nb", {L"a", L"", L"b"}},
        {"a\rb\nc\r\r\n", {L"a\rb", L"c\r"}}, // a lone CR stays
        {std::string("\xFF\0b\n", 4), {std::wstring(L"\u00FF\0b", 3)}},
        {u8"déjà\\café.txt\n", {accented}},
        {u8"\uFEFFdéjà\\café.txt\n", {accented}},
        {"d\xE9j\xE0\\caf\xE9.txt\n", {accented}}, // ISO 8859-1
        // One byte that is not UTF-8 makes the whole list single bytes.
        {"\xEF\xBB\xBF\xC3\xA9\n\xE9\n", {L"\u00EF\u00BB\u00BF\u00C3\u00A9", L"\u00E9"}},
        {"\xC0\xAF\n\xED\xA0\x80\n", {L"\u00C0\u00AF", L"\u00ED\u00A0\u0080"}},
        {"\xF0\x9F\x8E\xAE\n", {std::wstring{wchar_t(0xD83C), wchar_t(0xDFAE)}}}, // UTF-16
        // UTF-16 with its mark, as Windows PowerShell writes; an odd last byte.
        {std::string("\xFF\xFE"
                     "a\0\r\0\n\0\xE9\0\n\0"
                     "b",
                     13),
         {L"a", L"\u00E9", L"b"}},
        {std::string("\xFE\xFF\0a\0\n\xD8\x3C\xDF\xAE", 10),
         {L"a", {wchar_t(0xD83C), wchar_t(0xDFAE)}}},
    };
    for (const auto& c : cases) {
        const PatchListEncoding encoding = PatchListEncodingOf(c.bytes);
        const auto entries = SplitPatchListBytes(c.bytes, encoding);
        EXPECT_EQ(entries, c.entries) << testing::PrintToString(c.bytes);
        // Kept for the next run in the same encoding.
        EXPECT_EQ(PatchListEncodingOf(PatchListBytes(entries, encoding)), encoding);
    }
}

TEST(PatchEntry, CleaningSplittingAndUnsafePaths) {
    // entry, cleaned path, directory part at the last backslash and at the
    // last separator of either kind ("-" for none)
    const wchar_t* cases[][4] = {
        {L"  \"data\\maps\\a.map\"\t", L"data\\maps\\a.map", L"data\\maps", L"data\\maps"},
        {L"\" \t\"", L"", L"-", L"-"},
        {L" my file .txt\r", L"my file .txt\r", L"-", L"-"}, // inner spaces and a lone CR stay
        {L"a\\b/c.dll", L"a\\b/c.dll", L"a", L"a\\b"},
        {L"\\x.dll", L"\\x.dll", L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c[0])));
        const std::wstring path = CleanPatchEntry(c[0]);
        EXPECT_EQ(path, c[1]);
        for (Separators which : {Separators::BackslashOnly, Separators::Either}) {
            const std::wstring directory = c[which == Separators::Either ? 3 : 2];
            const PathSplit split = SplitAtLastSeparator(path, which);
            EXPECT_EQ(split.hasSeparator, directory != L"-");
            EXPECT_EQ(split.directory, directory == L"-" ? L"" : directory);
            EXPECT_EQ(split.name, split.hasSeparator ? path.substr(directory.size() + 1) : path);
        }
    }
    // Unsafe: anything that could name something outside the installation.
    for (const wchar_t* path : {L"\\x.dll", L"/x.dll", L"\\\\server\\share\\x", L"C:x.dll",
                                L"x.dll:ads", L"..", L"a\\..\\..\\x", L"a/..\\x", L"a\\. .\\x"})
        EXPECT_TRUE(IsUnsafePatchPath(path)) << testing::PrintToString(std::wstring(path));
    EXPECT_TRUE(IsUnsafePatchPath(std::wstring(L"..\0x", 4))); // the system stops at the NUL
    for (const wchar_t* path : {L"", L"x.dll", L"a\\b/c.dll", L"..x\\y..", L".cfg", L"a\\.\\b"})
        EXPECT_FALSE(IsUnsafePatchPath(path)) << testing::PrintToString(std::wstring(path));
}

// Files refused for good: the first five wait their two seconds, then a run
// has waited its ten and the sixth gives up at once.
TEST(MoveRetry, TwoSecondsAFileTenARun) {
    EXPECT_EQ(MoveRetryDelayMs(3, 9500), 500u); // the run's rest, not the file's
    unsigned waited = 0;
    for (int file = 0; file < 6; ++file) {
        unsigned thisFile = 0;
        for (std::size_t retry = 0; unsigned delay = MoveRetryDelayMs(retry, waited); ++retry) {
            waited += delay;
            thisFile += delay;
        }
        EXPECT_EQ(thisFile, file < 5 ? 2000u : 0u) << file;
    }
}
