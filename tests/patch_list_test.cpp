// Reading patchlist.txt: every byte one character, text-mode line ends.
#include "patch/patch.h"
#include "patch/patch_text.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

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

TEST(PatchList, LoadsTheWholeFileOrLogsItsAbsence) {
    test::ScopedWorkDir dir;
    test::LogCapture missing;
    EXPECT_FALSE(LoadPatchList());
    EXPECT_EQ(missing.Text(), "[ERROR] Failed to open patchlist.txt\n");

    std::string bytes; // several read chunks
    for (int i = 0; i < 20000; ++i)
        bytes += "data\\file" + std::to_string(i) + ".dat\r\n";
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", bytes));
    test::LogCapture log;
    EXPECT_TRUE(LoadPatchList());
    ASSERT_EQ(g_patchList.size(), 20000u);
    EXPECT_EQ(g_patchList.back(), L"data\\file19999.dat");
    g_patchList.clear();
    EXPECT_EQ(log.Text(), "[INFO] Patchlist loaded successfully [objects: 20000]\n");
    EXPECT_TRUE(DeleteFileW(L"patchlist.txt")) << "closed before returning";
}
