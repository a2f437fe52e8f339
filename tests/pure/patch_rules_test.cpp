// What patchlist.txt's bytes and each entry mean (cleaning, the unsafe-path
// check, the directory part), and how long a refused move waits.
#include "patch/move_retry.h"
#include "patch/patch_entry.h"
#include "patch/patch_text.h"

#include <gtest/gtest.h>

// Every byte one character, text-mode line ends.
TEST(PatchList, BytesBecomeEntries) {
    struct Case {
        std::string bytes;
        std::vector<std::wstring> entries;
    } cases[] = {
        {"", {}},
        {"\n\n", {L"", L""}},
        {"a\r\nb", {L"a", L"b"}},
        {"a\r\n\r\nb\r\n", {L"a", L"", L"b"}},
        {"a\rb\nc\r", {L"a\rb", L"c\r"}}, // a lone CR stays
        {"a\r\r\n", {L"a\r"}},
        {"\xEF\xBB\xBFx.dll\n", {L"\u00EF\u00BB\u00BFx.dll"}}, // so does a BOM
        {std::string("\xFF\0b\n", 4), {std::wstring(L"\u00FF\0b", 3)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitPatchListBytes(c.bytes), c.entries) << testing::PrintToString(c.bytes);
}

TEST(PatchEntry, CleaningSplittingAndUnsafePaths) {
    // entry, cleaned path, directory part at the last backslash and at the
    // last separator of either kind ("-" for none)
    const wchar_t* cases[][4] = {
        {L"  \"data\\maps\\a.map\"\t", L"data\\maps\\a.map", L"data\\maps", L"data\\maps"},
        {L"\" \t\"", L"", L"-", L"-"},
        {L" my file .txt\r", L"my file .txt\r", L"-", L"-"}, // inner spaces and a lone CR stay
        {L"a\\b/c.dll", L"a\\b/c.dll", L"a", L"a\\b"},
        {L"data/x.dll", L"data/x.dll", L"-", L"data"},
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
    EXPECT_EQ(MoveRetryDelayMs(0, 0), 100u);
    EXPECT_EQ(MoveRetryDelayMs(3, 9500), 500u); // the run's rest, not the file's
    EXPECT_EQ(MoveRetryDelayMs(0, 20000), 0u);
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
