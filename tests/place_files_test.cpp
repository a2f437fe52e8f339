// Directory creation and the placing of downloaded files, on real folders.
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

TEST(EnsureDirectory, LevelByLevel) {
    const std::string exists = "[INFO] Directory already exists: ";
    struct Case {
        std::wstring path;
        bool result;
        std::string log;
    } cases[] = {
        {L"", true, ""},
        {L"new\\a/b\\", true, exists + "new\\a/b\\\n\n"},
        {L"old\\x", true, exists + "old\\\n\n" + exists + "old\\x\n\n"},
        {L"file\\x\\y", false,
         exists + "file\\\n\n[ERROR] Failed to create directory: file\\x\\, Error: 3\n\n"},
        {L"file\\x", false,
         exists + "file\\\n\n[ERROR] Failed to create final directory: file\\x, Error: 3\n\n"},
    };
    for (const auto& c : cases) {
        test::ScopedWorkDir dir;
        test::MakeDirs(L"old\\x");
        test::WriteFileBytes(L"file", "a file where a directory is needed");
        test::LogCapture log;
        EXPECT_EQ(EnsureDirectory(c.path), c.result) << test::Narrow(c.path);
        EXPECT_EQ(log.Text(), c.log);
        EXPECT_EQ(State(c.path) == "(dir)", c.result && !c.path.empty());
    }
}

// The unsafe-path rule itself is tabled in tests/pure/; here its refusal.
TEST(ApplyPatchEntry, MovesReplacesRefusesAndReportsFailures) {
    using Files = std::map<std::wstring, std::string>;
    wchar_t* denied = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                   ERROR_ACCESS_DENIED, 0, reinterpret_cast<LPWSTR>(&denied), 0, nullptr);
    const std::string deniedText = test::Narrow(denied);
    LocalFree(denied);
    const std::string moved = "[INFO] File moved successfully to: ";
    // What an unsafe entry would have made, moved or replaced.
    const Files untouched = {{L"readme.txt", "old"},
                             {L"download\\readme.txt", "new"},
                             {L"a", "(none)"},
                             {L"..\\readme.txt", "(none)"},
                             {L"\\readme.txt", "(none)"}};
    struct Case {
        std::wstring entry;
        bool result;
        std::string log;
        Files after;
    } cases[] = {
        {L"  \"data\\maps\\a.map\"\t",
         true,
         "[INFO] Source Path: download\\data\\maps\\a.map\n"
         "[INFO] Destination Path: data\\maps\\a.map\n"
         "[INFO] Directory created successfully: data\\maps\n" +
             moved + "data\\maps\\a.map\n",
         {{L"data\\maps\\a.map", "map"}, {L"download\\data\\maps\\a.map", "(none)"}}},
        {L"readme.txt",
         true,
         "[INFO] Source Path: download\\readme.txt\n[INFO] Destination Path: readme.txt\n" + moved +
             "readme.txt\n",
         {{L"readme.txt", "new"}, {L"download\\readme.txt", "(none)"}}},
        {L"dir",
         false, // replacing a directory waits for a while, then gives up
         "[INFO] Source Path: download\\dir\n[INFO] Destination Path: dir\n"
         "[ERROR] Object: [dir] move failed. Error code: [5]. Message: [" +
             deniedText + "]\n",
         {{L"download\\dir", "new dir"}, {L"dir\\keep", "kept"}}},
        {L"\\readme.txt", false, "[ERROR] Refused unsafe path: \\readme.txt\n", untouched},
        {L"a\\C:readme.txt", false, "[ERROR] Refused unsafe path: a\\C:readme.txt\n", untouched},
        {L"\"a\\..\\..\\readme.txt\"", false,
         "[ERROR] Refused unsafe path: a\\..\\..\\readme.txt\n", untouched},
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
        EXPECT_EQ(ApplyPatchEntry(c.entry), c.result) << test::Narrow(c.entry);
        EXPECT_EQ(log.Text(), c.log);
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
