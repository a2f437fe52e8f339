// Reading patchlist.txt: every byte one character, text-mode line ends.
#include "patch/patch.h"
#include "patch/patch_text.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::wstring>;

struct LoadResult {
    bool ok;
    Lines entries;
    std::string log;
};

LoadResult Load() {
    test::LogCapture log;
    g_patchList.clear();
    bool ok = LoadPatchList();
    LoadResult r{ok, g_patchList, log.Text()};
    g_patchList.clear();
    return r;
}

} // namespace

TEST(PatchList, BytesBecomeEntries) {
    struct Case {
        const char* name;
        std::string bytes;
        Lines entries;
    } cases[] = {
        {"empty file", "", {}},
        {"one LF", "\n", {L""}},
        {"two LFs", "\n\n", {L"", L""}},
        {"CR LF, no final end", "a\r\nb", {L"a", L"b"}},
        {"CR LF with final end", "a\r\nb\r\n", {L"a", L"b"}},
        {"blank line kept", "a\n\nb\n", {L"a", L"", L"b"}},
        {"lone CR stays", "a\rb\nc\r", {L"a\rb", L"c\r"}},
        {"CR CR LF keeps one CR", "a\r\r\n", {L"a\r"}},
        {"quotes and blanks stay", " \"data\\x.dll\"\t\n", {L" \"data\\x.dll\"\t"}},
        {"UTF-8 BOM stays", "\xEF\xBB\xBFx.dll\n", {L"\u00EF\u00BB\u00BFx.dll"}},
        {"high bytes one per char", "caf\xC3\xA9\n\xFF", {L"caf\u00C3\u00A9", L"\u00FF"}},
        {"NUL byte kept", std::string("a\0b\n", 4), {std::wstring(L"a\0b", 3)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SplitPatchListBytes(c.bytes), c.entries);

        test::ScopedWorkDir dir;
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", c.bytes));
        LoadResult r = Load();
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.entries, c.entries);
        EXPECT_EQ(r.log, "[INFO] Patchlist loaded successfully [objects: " +
                             std::to_string(c.entries.size()) + "]\n");
    }
}

TEST(PatchList, MissingFileLeavesTheListEmpty) {
    test::ScopedWorkDir dir;
    LoadResult r = Load();
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.entries.empty());
    EXPECT_EQ(r.log, "[ERROR] Failed to open patchlist.txt\n");
}

TEST(PatchList, LoadAppendsAndLeavesTheFileClosed) {
    test::ScopedWorkDir dir;
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "a\nb\n"));
    g_patchList = {L"earlier"};
    test::LogCapture log;
    EXPECT_TRUE(LoadPatchList());
    EXPECT_EQ(g_patchList, (Lines{L"earlier", L"a", L"b"}));
    EXPECT_EQ(log.Text(), "[INFO] Patchlist loaded successfully [objects: 3]\n");
    g_patchList.clear();
    // Closed before returning, so the driver can delete it.
    EXPECT_TRUE(DeleteFileW(L"patchlist.txt"));
}

TEST(PatchList, LargeListIsReadWhole) {
    test::ScopedWorkDir dir;
    std::string bytes;
    for (int i = 0; i < 20000; ++i)
        bytes += "data\\file" + std::to_string(i) + ".dat\r\n";
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", bytes));
    LoadResult r = Load();
    ASSERT_EQ(r.entries.size(), 20000u);
    EXPECT_EQ(r.entries[12345], L"data\\file12345.dat");
}
