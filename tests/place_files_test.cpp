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

// An existing level counts as made, an existing file too: the level below it
// fails. The empty path is made already.
TEST(EnsureDirectory, LevelByLevel) {
    for (const auto& [path, made] : std::map<std::wstring, bool>{{L"", false},
                                                                 {L"new\\a/b\\", true},
                                                                 {L"old\\x", true},
                                                                 {L"file\\x\\y", false},
                                                                 {L"file\\x", false}}) {
        test::ScopedWorkDir dir;
        test::MakeDirs(L"old\\x");
        test::WriteFileBytes(L"file", "a file where a directory is needed");
        EXPECT_EQ(EnsureDirectory(path), made || path.empty()) << test::Narrow(path);
        EXPECT_EQ(State(path) == "(dir)", made);
    }
}

// The unsafe-path rule itself is tabled in tests/pure/; here its refusal,
// before anything is made or moved.
TEST(ApplyPatchEntry, MovesReplacesRefusesAndReportsFailures) {
    using Files = std::map<std::wstring, std::string>;
    const Files untouched = {{L"readme.txt", "old"},
                             {L"download\\readme.txt", "new"},
                             {L"a", "(none)"},
                             {L"..\\readme.txt", "(none)"},
                             {L"\\readme.txt", "(none)"}};
    struct Case {
        std::wstring entry;
        const char* error; // the line logged; nullptr: placed
        Files after;
        const char* wholeLog = nullptr; // where the log's own lines are pinned
    } cases[] = {
        {L"  \"data\\maps\\a.map\"\t",
         nullptr,
         {{L"data\\maps\\a.map", "map"}, {L"download\\data\\maps\\a.map", "(none)"}},
         "[INFO] Source Path: download\\data\\maps\\a.map\n"
         "[INFO] Destination Path: data\\maps\\a.map\n"
         "[INFO] Directory created successfully: data\\maps\n"
         "[INFO] File moved successfully to: data\\maps\\a.map\n"},
        {L"readme.txt", nullptr, {{L"readme.txt", "new"}, {L"download\\readme.txt", "(none)"}}},
        // Replacing a directory waits for a while, then gives up.
        {L"dir",
         "[ERROR] Object: [dir] move failed. Error code: [5]. Message: [",
         {{L"download\\dir", "new dir"}, {L"dir\\keep", "kept"}}},
        {L"\\readme.txt", "[ERROR] Refused unsafe path: \\readme.txt\n", untouched},
        {L"a\\C:readme.txt", "[ERROR] Refused unsafe path: a\\C:readme.txt\n", untouched},
        {L"\"a\\..\\..\\readme.txt\"", "[ERROR] Refused unsafe path: a\\..\\..\\readme.txt\n",
         untouched},
    };
    for (const auto& c : cases) {
        test::ScopedWorkDir dir;
        for (const auto& [path, bytes] : Files{{L"download\\data\\maps\\a.map", "map"},
                                               {L"download\\readme.txt", "new"},
                                               {L"readme.txt", "old"},
                                               {L"download\\dir", "new dir"},
                                               {L"dir\\keep", "kept"}})
            ASSERT_TRUE(test::WriteFileBytes(path, bytes));
        test::LogCapture log;
        EXPECT_EQ(ApplyPatchEntry(c.entry), !c.error) << test::Narrow(c.entry);
        const std::string text = log.Text();
        EXPECT_EQ(test::CountOf(text, "[ERROR]"), c.error ? 1u : 0u) << text;
        EXPECT_EQ(test::CountOf(text, c.error ? c.error : "[ERROR]"), c.error ? 1u : 0u) << text;
        if (c.wholeLog) {
            EXPECT_EQ(text, c.wholeLog);
        }
        for (const auto& [path, state] : c.after)
            EXPECT_EQ(State(path), state) << test::Narrow(path);
    }
}

// A run remembers the folders it has made sure of; the log must read as if it
// had asked every time, and a folder removed meanwhile must come back.
TEST(ApplyPatchEntry, RememberedFoldersKeepTheLogAndComeBack) {
    const std::vector<std::wstring> entries = {L"a\\b\\1", L"a\\b\\2", L"a\\c\\3", L"4",
                                               L"a\\b\\5"};
    const KnownDirectories expected = {L"a\\", L"a\\b", L"a\\c"};
    std::string logs[2];
    for (int remember = 0; remember < 2; ++remember) {
        test::ScopedWorkDir dir;
        for (const auto& e : entries)
            ASSERT_TRUE(test::WriteFileBytes(L"download\\" + e, test::Narrow(e)));
        KnownDirectories known;
        test::LogCapture log;
        for (const auto& e : entries) {
            EXPECT_TRUE(ApplyPatchEntry(e, remember ? &known : nullptr)) << test::Narrow(e);
            EXPECT_EQ(test::ReadFileBytes(e), test::Narrow(e));
        }
        logs[remember] = log.Text();
        if (!remember)
            continue;
        EXPECT_EQ(known, expected);
        test::RemoveTree(L"a");
        ASSERT_TRUE(test::WriteFileBytes(L"download\\a\\b\\6", "six"));
        EXPECT_TRUE(ApplyPatchEntry(L"a\\b\\6", &known));
        EXPECT_EQ(test::ReadFileBytes(L"a\\b\\6"), "six");
        // A missing source is not mistaken for a removed folder.
        EXPECT_FALSE(ApplyPatchEntry(L"a\\b\\7", &known));
        EXPECT_EQ(known, expected);
    }
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_NE(logs[1].find("[INFO] Directory already exists: a\\b\n"), std::string::npos);
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
