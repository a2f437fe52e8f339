// Writes onto a volume that fills up: the 2 MiB tmpfs that CTest mounts at
// <build>\full-disk (tools/small-volume) for this test.
#include "net/net.h"
#include "patch/patch.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

std::wstring Volume() {
    return test::BuildDir() + L"\\full-disk";
}

} // namespace

// A download that does not fit fails with its reason: the old file stays,
// the .part goes (freeing the space), and the next server is tried at once.
TEST(FullDisk, ADownloadThatDoesNotFitKeepsTheOldFile) {
    const std::string big(3u << 20, 'b'), small(100000, 's');
    const std::string failed = "[ERROR] Download failed with HTTP code: 200\n"
                               "[ERROR] Transfer error: Failed writing received data to "
                               "disk/application\n";
    for (const std::string* server : {&big, &small}) {
        test::ScopedWorkDir dir(Volume());
        test::ClearSites();
        ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"big.dll", big));
        ASSERT_TRUE(test::PutSiteFile(test::Site::Server, L"big.dll", *server));
        ASSERT_TRUE(test::WriteFileBytes(L"big.dll", "old"));
        test::LogCapture log;
        test::RequestLog requests;
        const bool fits = server == &small;
        EXPECT_EQ(DownloadFromMirrors(L"big.dll"), fits);
        EXPECT_EQ(test::ReadFileBytes(L"big.dll"), fits ? small : "old");
        EXPECT_FALSE(test::PathExists(L"big.dll.part"));
        EXPECT_EQ(requests.Lines().size(), 2u);
        const std::string text = log.Text();
        EXPECT_EQ(test::CountOf(text, failed), fits ? 1u : 2u) << text;
        EXPECT_NE(text.find(failed + "[INFO] GitHub failed, trying main server: big.dll\n"),
                  std::string::npos)
            << text;
    }
}

TEST(FullDisk, SavePatchListKeepsTheOldList) {
    test::ScopedWorkDir dir(Volume());
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "old.dll\r\n"));
    HANDLE filler = CreateFileW(L"filler", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(filler, INVALID_HANDLE_VALUE);
    const std::string chunk(65536, 'f');
    DWORD written = 0;
    while (WriteFile(filler, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) &&
           written == chunk.size()) {
    }
    CloseHandle(filler);
    test::LogCapture log;
    EXPECT_FALSE(SavePatchList({L"a.dll", L"b.dll"}));
    EXPECT_EQ(log.Text(), "[ERROR] Failed to write patchlist.txt, Error: 112\n");
    EXPECT_EQ(test::ReadFileBytes(L"patchlist.txt"), "old.dll\r\n");
    EXPECT_FALSE(test::PathExists(L"patchlist.txt.tmp"));
}
