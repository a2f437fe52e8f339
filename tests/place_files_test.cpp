// The placing of downloaded files, on real folders. (Unsafe entries, a file
// where a folder should be and long lists are update_outcome_test's and
// killed_test's.)
#include "patch/patch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

// Each row: the entry, its whole log when placed (else its error line's start),
// and after it each file of the folder: its bytes or "(none)".
TEST(ApplyPatchEntry, MovesReplacesAndReportsFailures) {
    const wchar_t* files[] = {L"download\\data\\maps\\a.map",
                              L"download\\readme.txt",
                              L"readme.txt",
                              L"download\\dir",
                              L"dir\\keep",
                              L"data\\maps\\a.map"};
    const char* bytes[] = {"map", "new", "old", "new dir", "kept"}; // of the first five
    const struct {
        std::wstring entry;
        const char* log;
        std::string after;
    } cases[] = {
        {L"  \"data\\maps\\a.map\"\t",
         "[INFO] Source Path: download\\data\\maps\\a.map\n"
         "[INFO] Destination Path: data\\maps\\a.map\n"
         "[INFO] Directory created successfully: data\\maps\n"
         "[INFO] File moved successfully to: data\\maps\\a.map\n",
         "(none)|new|old|new dir|kept|map|"},
        {L"readme.txt", nullptr, "map|(none)|new|new dir|kept|(none)|"},
        // Replacing a directory waits for a while, then gives up.
        {L"dir", "[ERROR] Object: [dir] move failed. Error code: [5]. Message: [",
         "map|new|old|new dir|kept|(none)|"},
    };
    for (const auto& c : cases) {
        test::ScopedWorkDir dir;
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(test::WriteFileBytes(files[i], bytes[i]));
        test::LogCapture log;
        const bool error = c.log && c.log[1] == 'E';
        EXPECT_EQ(ApplyPatchEntry(c.entry), !error) << test::Narrow(c.entry);
        const std::string text = log.Text();
        EXPECT_EQ(test::CountOf(text, "[ERROR]"), error ? 1u : 0u) << text;
        EXPECT_TRUE(!c.log || (error ? text.find(c.log) != std::string::npos : text == c.log))
            << text;
        std::string after;
        for (const wchar_t* path : files)
            after += (test::PathExists(path) ? test::ReadFileBytes(path) : "(none)") + "|";
        EXPECT_EQ(after, c.after) << test::Narrow(c.entry);
    }
}

// A run remembers the folders it has made sure of; the log must read as if it
// had asked every time, and a folder removed meanwhile must come back.
TEST(ApplyPatchEntry, RememberedFoldersKeepTheLogAndComeBack) {
    const std::wstring entries[] = {L"a\\b\\1", L"a\\b\\2", L"a\\c\\3", L"4", L"a\\b\\5"};
    std::string logs[2];
    for (int remember = 0; remember < 2; ++remember) {
        test::ScopedWorkDir dir;
        for (const auto& e : entries)
            ASSERT_TRUE(test::WriteFileBytes(L"download\\" + e, test::Narrow(e)));
        PatchWalk walk;
        test::LogCapture log;
        for (const auto& e : entries)
            EXPECT_TRUE(ApplyPatchEntry(e, remember ? &walk : nullptr)) << test::Narrow(e);
        logs[remember] = log.Text();
        test::RemoveTree(L"a");
        ASSERT_TRUE(test::WriteFileBytes(L"download\\a\\b\\6", "six"));
        EXPECT_TRUE(ApplyPatchEntry(L"a\\b\\6", &walk));
        EXPECT_EQ(test::ReadFileBytes(L"a\\b\\6"), "six");
    }
    EXPECT_EQ(logs[0], logs[1]);
}
