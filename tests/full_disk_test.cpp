// Writes onto a volume that fills up: the 2 MiB tmpfs that CTest mounts at
// <build>\full-disk (tools/small-volume) for this test. The test build keeps
// 1 MiB of a drive free.
#include "launch/launch.h"
#include "net/net.h"
#include "patch/patch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

// A download that would eat into the reserve is refused: at once when its
// length says so (nothing written; the next server is tried, and that
// server is not barred), and as it passes the reserve when the server
// declares nothing (then that server is not asked again in this run). The
// old file stays, no part is left, and the player is told the drive is full.
TEST(FullDisk, ADownloadThatWouldFillTheDriveIsRefused) {
    const std::string big(3u << 20, 'b'), small(100000, 's');
    const char refusal[] = "would leave less than 1048576 bytes free on its drive";
    const struct {
        const char* mirrorServe;
        const std::string* server; // the main server's file
    } cases[] = {{"", &big}, {"", &small}, {"endless=1", &small}};
    for (const auto& c : cases) {
        test::ScopedWorkDir dir(test::BuildDir() + L"\\full-disk");
        test::ClearSites();
        ASSERT_TRUE(test::PutSiteFile(L"mirror/big.dll", big) &&
                    test::PutSiteFile(L"mirror/big.dll.serve", c.mirrorServe) &&
                    test::PutSiteFile(L"server/big.dll", *c.server) &&
                    test::WriteFileBytes(L"big.dll", "old"));
        test::LogCapture log;
        test::RequestLog requests;
        DownloadFailure why;
        const bool fits = c.server == &small;
        EXPECT_EQ(DownloadFromMirrors(L"big.dll", {}, &why), fits);
        EXPECT_EQ(test::ReadFileBytes(L"big.dll"), fits ? small : "old");
        EXPECT_FALSE(test::PathExists(L"big.dll.part"));
        EXPECT_EQ(requests.Column(0).size(), 2u);
        EXPECT_EQ(test::CountOf(log.Text(), refusal), fits ? 1u : 2u) << log.Text();
        if (!fits) {
            // The volume, mounted in a folder, as the system names it.
            const std::string told =
                "Failed to download required file: big.dll\n\nThe drive " +
                test::Narrow(test::BuildDir()) +
                "\\full-disk\\ is full: the file needs 4 MB free there, and 2 "
                "MB are free. Free some space on it, then start the game again.";
            EXPECT_EQ(test::Narrow(DownloadFailureText(L"big.dll", why)), told);
        }
        if (*c.mirrorServe) { // later files of the run come from the main server alone
            test::RequestLog again;
            EXPECT_TRUE(DownloadFromMirrors(L"big.dll"));
            EXPECT_EQ(again.Column(0).size(), 1u);
        }
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
