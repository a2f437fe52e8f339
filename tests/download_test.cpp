// DownloadFile and the mirror-then-server fallback against the local HTTPS
// test server: what reaches the disk, what the server saw and what the log says.
#include "net/net.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kMirror = UPDATER_MIRROR_BASE_URL;
const std::wstring kServer = UPDATER_SERVER_BASE_URL;
const std::wstring kMirrorPath = kMirror.substr(kMirror.find(L'/', 8)); // "/.../main/"

std::string DownloadLog(const std::wstring& url, const std::wstring& path,
                        const std::string& last) {
    return "[INFO] Downloading from: " + test::Narrow(url) +
           "\n[INFO] Saving to: " + test::Narrow(path) + "\n" + last + "\n";
}

std::string Failed(const std::string& code) {
    return "[ERROR] Download failed with HTTP code: " + code;
}

class DownloadTest : public testing::Test {
  protected:
    DownloadTest() { test::ClearSites(); }
    test::ScopedWorkDir dir_;
};

} // namespace

// Only a whole 200 reply replaces the file; every failure keeps what stood at
// the target and leaves no partial file. Only a verified https server is
// trusted, redirects included; redirect loops and stalled servers end.
TEST_F(DownloadTest, OnlyAWhole200FromAVerifiedServerReplacesTheFile) {
    std::string binary;
    for (int i = 0; i < 300000; ++i)
        binary += static_cast<char>(i % 256);
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"bin/all-bytes.bin", binary));
    const std::wstring mirrorFile = kMirrorPath + L"bin/all-bytes.bin";
    const std::wstring httpFile = test::ServerUrl("http", mirrorFile);
    struct Case {
        std::wstring url;
        const char* code; // nullptr: success
        size_t requests;
    } cases[] = {
        {kMirror + L"bin/all-bytes.bin", nullptr, 1},
        {test::ServerUrl("main", L"/fault/redirect/3" + mirrorFile), nullptr, 4},
        {test::ServerUrl("main", L"/fault/status/404"), "404", 1},
        {test::ServerUrl("main", L"/fault/status/500"), "500", 1},
        {test::ServerUrl("main", L"/fault/status/206"), "206", 1},
        {test::ServerUrl("main", L"/fault/redirect-loop"), "302", 31}, // 1 + 30 followed
        {test::ServerUrl("main", L"/fault/redirect-to?url=" + httpFile), "302", 1},
        {test::ServerUrl("main", L"/fault/cut?size=100000&send=20000"), "200", 1},
        // A server that goes quiet, before or after the status line.
        {test::ServerUrl("main", L"/fault/stall?send=20000&hold=100"), "200", 1},
        {test::ServerUrl("main", L"/fault/stall?headers=0&hold=100"), "0", 1},
        {httpFile, "0", 0},
        {test::ServerUrl("selfsigned", mirrorFile), "0", 0},
        {test::ServerUrl("wrongname", mirrorFile), "0", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Narrow(c.url));
        test::LogCapture log;
        test::RequestLog requests;
        ASSERT_TRUE(test::WriteFileBytes(L"out.bin", "old"));
        EXPECT_EQ(DownloadFile(c.url, L"out.bin"), !c.code);
        EXPECT_TRUE(test::ReadFileBytes(L"out.bin") == (c.code ? "old" : binary));
        EXPECT_FALSE(test::PathExists(L"out.bin.part"));
        EXPECT_EQ(log.Text(), DownloadLog(c.url, L"out.bin",
                                          c.code ? Failed(c.code) : "[INFO] Download successful"));
        EXPECT_EQ(requests.Lines().size(), c.requests);
        for (const std::string& line : requests.Lines())
            EXPECT_EQ(line.substr(0, 9) + line.substr(line.rfind('\t')),
                      "main\tGET\t\tqzr#updater");
    }
}

TEST_F(DownloadTest, FromMirrorsTriesTheMirrorThenTheServerOnce) {
    const std::string ok = "[INFO] Download successful", missing = Failed("404");
    const char* cases[][2] = {{"from mirror", "from server"}, {nullptr, "from server"}, {}};
    const std::wstring file = L"a\\b\\c.dll";
    for (const auto& [mirror, server] : cases) {
        test::ClearSites();
        test::RemoveTree(L"a");
        test::MakeDirs(L"a\\b");
        ASSERT_TRUE(!mirror || test::PutSiteFile(test::Site::Mirror, L"a/b/c.dll", mirror));
        ASSERT_TRUE(!server || test::PutSiteFile(test::Site::Server, L"a/b/c.dll", server));
        test::LogCapture log;
        test::RequestLog requests;
        const char* stored = mirror ? mirror : server;
        EXPECT_EQ(DownloadFromMirrors(file), stored != nullptr);

        std::string expected = "[INFO] Downloading from GitHub: a\\b\\c.dll\n" +
                               DownloadLog(kMirror + L"a/b/c.dll", file, mirror ? ok : missing);
        if (!mirror)
            expected += "[INFO] GitHub failed, trying main server: a\\b\\c.dll\n" +
                        DownloadLog(kServer + L"a/b/c.dll", file, server ? ok : missing);
        if (!stored)
            expected += "[ERROR] Failed to download: a\\b\\c.dll\n";
        EXPECT_EQ(log.Text(), expected); // the URLs asked, in order
        EXPECT_EQ(requests.Lines().size(), mirror ? 1u : 2u);
        EXPECT_EQ(test::ReadFileBytes(file), stored ? stored : "");
        EXPECT_EQ(test::PathExists(file), stored != nullptr);
        EXPECT_FALSE(test::PathExists(file + L".part"));
    }
}

// The partial file is this download's alone: while another program holds it
// open for writing (shared, as the C runtime's plain open is), it is not used.
TEST_F(DownloadTest, ThePartialFileIsNotShared) {
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"x.bin", "new"));
    ASSERT_TRUE(test::WriteFileBytes(L"out.bin", "old"));
    HANDLE other = CreateFileW(L"out.bin.part", GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    test::LogCapture log;
    test::RequestLog requests;
    EXPECT_FALSE(DownloadFile(kMirror + L"x.bin", L"out.bin"));
    CloseHandle(other);
    EXPECT_EQ(log.Text(), DownloadLog(kMirror + L"x.bin", L"out.bin",
                                      "[ERROR] Failed to open file for writing: out.bin"));
    EXPECT_TRUE(requests.Lines().empty());
    EXPECT_EQ(test::ReadFileBytes(L"out.bin"), "old");
}
