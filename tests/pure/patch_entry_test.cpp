// What a patch entry means: cleaning, the unsafe-path check, the directory part.
#include "patch/patch_entry.h"

#include <gtest/gtest.h>

TEST(PatchEntry, CleaningDirectoryPartAndUnsafePaths) {
    // entry, cleaned path, directory part ("-" for none)
    const wchar_t* cases[][3] = {
        {L"  \"data\\maps\\a.map\"\t", L"data\\maps\\a.map", L"data\\maps"},
        {L"\" \t\"", L"", L"-"},
        {L" my file .txt\r", L"my file .txt\r", L"-"}, // inner spaces and a lone CR stay
        {L"a\\b/c.dll", L"a\\b/c.dll", L"a"},          // only a backslash ends a directory
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CleanPatchEntry(c[0]), c[1]);
        std::wstring directory = L"-";
        EXPECT_EQ(PatchDirectoryPart(c[1], directory), std::wstring(c[2]) != L"-");
        EXPECT_EQ(directory, c[2]) << testing::PrintToString(std::wstring(c[0]));
    }
    // Unsafe: anything that could name something outside the installation.
    for (const wchar_t* path : {L"\\x.dll", L"/x.dll", L"\\\\server\\share\\x", L"C:x.dll",
                                L"x.dll:ads", L"..", L"a\\..\\..\\x", L"a/..\\x", L"a\\. .\\x"})
        EXPECT_TRUE(IsUnsafePatchPath(path)) << testing::PrintToString(std::wstring(path));
    EXPECT_TRUE(IsUnsafePatchPath(std::wstring(L"..\0x", 4))); // the system stops at the NUL
    for (const wchar_t* path : {L"", L"x.dll", L"a\\b/c.dll", L"..x\\y..", L".cfg", L"a\\.\\b"})
        EXPECT_FALSE(IsUnsafePatchPath(path)) << testing::PrintToString(std::wstring(path));
}
