// patchlist.txt's bytes: every byte one character, text-mode line ends.
#include "patch/patch_text.h"

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
