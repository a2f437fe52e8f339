// The placing of downloaded files, on real folders. (A file where a folder
// should be, and long lists read whole, are update_outcome_test's and
// killed_test's.)
#include "patch/patch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace {

std::string State(const std::wstring& path) { // contents, "(dir)" or "(none)"
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES   ? "(none)"
           : attributes & FILE_ATTRIBUTE_DIRECTORY ? "(dir)"
                                                   : test::ReadFileBytes(path);
}

} // namespace

// The refusal of unsafe entries is in update_outcome_test, their rule in
// tests/pure/.
TEST(ApplyPatchEntry, MovesReplacesAndReportsFailures) {
    struct Case {
        std::wstring entry;
        const char* log; // its whole log when placed, else its error line's start
        std::map<std::wstring, std::string> after;
    } cases[] = {
        {L"  \"data\\maps\\a.map\"\t",
         "[INFO] Source Path: download\\data\\maps\\a.map\n"
         "[INFO] Destination Path: data\\maps\\a.map\n"
         "[INFO] Directory created successfully: data\\maps\n"
         "[INFO] File moved successfully to: data\\maps\\a.map\n",
         {{L"data\\maps\\a.map", "map"}, {L"download\\data\\maps\\a.map", "(none)"}}},
        {L"readme.txt", nullptr, {{L"readme.txt", "new"}, {L"download\\readme.txt", "(none)"}}},
        // Replacing a directory waits for a while, then gives up.
        {L"dir",
         "[ERROR] Object: [dir] move failed. Error code: [5]. Message: [",
         {{L"download\\dir", "new dir"}, {L"dir\\keep", "kept"}}},
    };
    for (const auto& c : cases) {
        test::ScopedWorkDir dir;
        for (const auto& [path, bytes] : {std::pair{L"download\\data\\maps\\a.map", "map"},
                                          {L"download\\readme.txt", "new"},
                                          {L"readme.txt", "old"},
                                          {L"download\\dir", "new dir"},
                                          {L"dir\\keep", "kept"}})
            ASSERT_TRUE(test::WriteFileBytes(path, bytes));
        test::LogCapture log;
        const bool error = c.log && c.log[1] == 'E';
        EXPECT_EQ(ApplyPatchEntry(c.entry), !error) << test::Narrow(c.entry);
        const std::string text = log.Text();
        EXPECT_EQ(test::CountOf(text, "[ERROR]"), error ? 1u : 0u) << text;
        EXPECT_TRUE(!c.log || (error ? text.find(c.log) != std::string::npos : text == c.log))
            << text;
        for (const auto& [path, state] : c.after)
            EXPECT_EQ(State(path), state) << test::Narrow(path);
    }
}

// A run remembers the folders it has made sure of; the log must read as if it
// had asked every time, and a folder removed meanwhile must come back.
TEST(ApplyPatchEntry, RememberedFoldersKeepTheLogAndComeBack) {
    const std::vector<std::wstring> entries = {L"a\\b\\1", L"a\\b\\2", L"a\\c\\3", L"4",
                                               L"a\\b\\5"};
    std::string logs[2];
    for (int remember = 0; remember < 2; ++remember) {
        test::ScopedWorkDir dir;
        for (const auto& e : entries)
            ASSERT_TRUE(test::WriteFileBytes(L"download\\" + e, test::Narrow(e)));
        KnownDirectories known;
        test::LogCapture log;
        for (const auto& e : entries)
            EXPECT_TRUE(ApplyPatchEntry(e, remember ? &known : nullptr)) << test::Narrow(e);
        logs[remember] = log.Text();
        test::RemoveTree(L"a");
        ASSERT_TRUE(test::WriteFileBytes(L"download\\a\\b\\6", "six"));
        EXPECT_TRUE(ApplyPatchEntry(L"a\\b\\6", &known));
        EXPECT_EQ(test::ReadFileBytes(L"a\\b\\6"), "six");
    }
    EXPECT_EQ(logs[0], logs[1]);
}
