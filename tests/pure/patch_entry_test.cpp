// What a patch entry means: cleaning, the unsafe-path check, the directory part;
// and the split of a runtime file's path.
#include "patch/patch_entry.h"

#include <gtest/gtest.h>

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
