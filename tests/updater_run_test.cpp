// Whole runs of the built updater.exe in a throw-away game folder.
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

test::ProcessResult RunUpdater(const std::wstring& args) {
    return test::RunProcess(test::ProductPath(), args, L".");
}

} // namespace

TEST(UpdaterRun, UpdateWalksTheListAndDeletesIt) {
    test::ScopedWorkDir dir;
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "\"a.txt\"\r\n\r\ndata\\b.txt\r\n"));
    test::ProcessResult r = RunUpdater(L"update --log");
    ASSERT_TRUE(r.started);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
    std::string log = test::StripTimestamps(test::ReadFileBytes(L"velmora.log"));
    EXPECT_NE(log.find("[INFO] Patchlist loaded successfully [objects: 3]\n"), std::string::npos)
        << log;
}

TEST(UpdaterRun, EmptyOrMissingListStillEndsWithExitCodeZero) {
    for (bool present : {false, true}) {
        test::ScopedWorkDir dir;
        if (present) {
            ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", ""));
        }
        test::ProcessResult r = RunUpdater(L"update --log");
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
        std::string log = test::StripTimestamps(test::ReadFileBytes(L"velmora.log"));
        const char* expected = present ? "[INFO] Patchlist loaded successfully [objects: 0]\n"
                                       : "[ERROR] Failed to open patchlist.txt\n";
        EXPECT_NE(log.find(expected), std::string::npos) << log;
    }
}

TEST(UpdaterRun, LaunchRunLeavesThePatchListAlone) {
    for (const wchar_t* args : {L"", L"Update", L"UPDATE --log"}) {
        test::ScopedWorkDir dir;
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "a.txt\n"));
        test::ProcessResult r = RunUpdater(args);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_TRUE(test::FileExists(L"patchlist.txt"));
        std::string log = test::ReadFileBytes(L"velmora.log");
        EXPECT_EQ(log.find("Patchlist"), std::string::npos);
    }
}
