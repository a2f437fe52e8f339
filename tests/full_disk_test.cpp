// Writes onto a volume that fills up: the 2 MiB tmpfs that CTest mounts at
// <build>\full-disk (tools/small-volume) for this test.
#include "net/net.h"
#include "patch/patch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

// A download that does not fit fails with its reason: the old file stays,
// the .part goes (freeing the space), and the next server is tried at once.
TEST(FullDisk, ADownloadThatDoesNotFitKeepsTheOldFile) {
    const std::string big(3u << 20, 'b'), small(100000, 's');
    const std::string failed = "[ERROR] Download failed with HTTP code: 200\n[ERROR] Transfer "
                               "error: Failed writing received data to disk/application\n";
    for (const std::string* server : {&big, &small}) {
        test::ScopedWorkDir dir(test::BuildDir() + L"\\full-disk");
        test::ClearSites();
        ASSERT_TRUE(test::PutSiteFile(L"mirror/big.dll", big));
        ASSERT_TRUE(test::PutSiteFile(L"server/big.dll", *server));
        ASSERT_TRUE(test::WriteFileBytes(L"big.dll", "old"));
        test::LogCapture log;
        test::RequestLog requests;
        const bool fits = server == &small;
        EXPECT_EQ(DownloadFromMirrors(L"big.dll"), fits);
        EXPECT_EQ(test::ReadFileBytes(L"big.dll"), fits ? small : "old");
        EXPECT_FALSE(test::PathExists(L"big.dll.part"));
        EXPECT_EQ(requests.Column(0).size(), 2u);
        const std::string text = log.Text();
        EXPECT_EQ(test::CountOf(text, failed), fits ? 1u : 2u) << text;
        EXPECT_EQ(test::CountOf(text, failed + "[INFO] GitHub failed, trying main server"), 1u);
    }
}

TEST(FullDisk, SavePatchListKeepsTheOldList) {
    test::ScopedWorkDir dir(test::BuildDir() + L"\\full-disk");
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "old.dll\r\n"));
    ASSERT_FALSE(test::WriteFileBytes(L"filler", std::string(3u << 20, 'f'))); // to the last byte
    test::LogCapture log;
    EXPECT_FALSE(SavePatchList({L"a.dll", L"b.dll"}));
    EXPECT_EQ(log.Text(), "[ERROR] Failed to write patchlist.txt, Error: 112\n");
    EXPECT_EQ(test::ReadFileBytes(L"patchlist.txt"), "old.dll\r\n");
    EXPECT_FALSE(test::PathExists(L"patchlist.txt.tmp"));
}
