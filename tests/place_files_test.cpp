// Directory creation, the placing of downloaded files and the reading of
// patchlist.txt, on real folders.
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

// An existing level counts as made; a file where a level should be fails.
TEST(EnsureDirectory, LevelByLevel) {
    for (const auto& [path, made] : std::map<std::wstring, bool>{
             {L"", false}, {L"new\\a/b\\", true}, {L"old\\x", true}, {L"file\\x\\y", false}}) {
        test::ScopedWorkDir dir;
        test::MakeDirs(L"old\\x");
        test::WriteFileBytes(L"file", "a file where a directory is needed");
        EXPECT_EQ(EnsureDirectory(path), made || path.empty()) << test::Narrow(path);
        EXPECT_EQ(State(path) == "(dir)", made);
    }
}

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

// patchlist.txt read from the disk (its bytes' rules are in tests/pure/).
TEST(PatchList, LoadsTheWholeFile) {
    test::ScopedWorkDir dir;
    EXPECT_FALSE(LoadPatchList());
    std::string bytes; // several read chunks
    for (int i = 0; i < 20000; ++i)
        bytes += "data\\file" + std::to_string(i) + ".dat\r\n";
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", bytes));
    EXPECT_TRUE(LoadPatchList());
    ASSERT_EQ(g_patchList.size(), 20000u);
    EXPECT_EQ(g_patchList.back(), L"data\\file19999.dat");
    g_patchList.clear();
    EXPECT_TRUE(DeleteFileW(L"patchlist.txt")) << "closed before returning";
}
