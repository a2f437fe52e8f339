// Whole runs of the built updater.exe in a throw-away game folder.
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

test::ProcessResult RunUpdater(const std::wstring& args) {
    return test::RunProcess(test::ProductPath(), args, L".");
}

} // namespace

TEST(UpdaterRun, UpdateWalksTheListAndDeletesIt) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
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
        test::InstallRuntimeFiles();
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
        test::InstallRuntimeFiles();
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "a.txt\n"));
        test::ProcessResult r = RunUpdater(args);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_TRUE(test::FileExists(L"patchlist.txt"));
        std::string log = test::ReadFileBytes(L"velmora.log");
        EXPECT_EQ(log.find("Patchlist"), std::string::npos);
    }
}

TEST(UpdaterRun, WholeCycleUpdatesFetchesAndStartsTheGame) {
    test::ScopedWorkDir dir;
    test::ClearSites();
    test::InstallRuntimeFiles({L"AudioMix.dll"});
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"system64/AudioMix.dll", "audio v2"));
    test::MakeDirs(L"download\\data\\maps");
    ASSERT_TRUE(test::WriteFileBytes(L"download\\data\\maps\\a.map", "new map"));
    ASSERT_TRUE(test::WriteFileBytes(L"download\\readme.txt", "new readme"));
    ASSERT_TRUE(test::WriteFileBytes(L"readme.txt", "old readme"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "\"data\\maps\\a.map\"\r\nreadme.txt\r\n"));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.bat", "@echo off\r\n"));

    test::ProcessResult r = RunUpdater(L"update");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(test::ReadFileBytes(L"data\\maps\\a.map"), "new map");
    EXPECT_EQ(test::ReadFileBytes(L"readme.txt"), "new readme");
    EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
    EXPECT_EQ(test::ReadFileBytes(L"system64\\AudioMix.dll"), "audio v2");
    EXPECT_FALSE(test::PathExists(L"patchlist.bat"));
    std::vector<std::string> record = test::WaitForLaunchRecord();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[0].substr(record[0].size() - 10), " startgame");
    EXPECT_FALSE(test::PathExists(L"velmora.log")) << "no log without --log";
}
