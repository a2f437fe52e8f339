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

TEST_F(DownloadTest, StoresThe200BodyByteForByteOverTheOldFile) {
    std::string binary;
    for (int i = 0; i < 300000; ++i)
        binary += static_cast<char>(i % 256);
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"bin/all-bytes.bin", binary));
    for (const std::wstring& url :
         {kMirror + L"bin/all-bytes.bin",
          test::ServerUrl("main", L"/fault/redirect/3" + kMirrorPath + L"bin/all-bytes.bin")}) {
        test::LogCapture log;
        test::RequestLog requests;
        ASSERT_TRUE(test::WriteFileBytes(L"out.bin", "old"));
        EXPECT_TRUE(DownloadFile(url, L"out.bin"));
        EXPECT_TRUE(test::ReadFileBytes(L"out.bin") == binary);
        EXPECT_FALSE(test::PathExists(L"out.bin.part"));
        EXPECT_EQ(log.Text(), DownloadLog(url, L"out.bin", "[INFO] Download successful"));
        for (const std::string& line : requests.Lines())
            EXPECT_EQ(line.substr(0, 9) + line.substr(line.rfind('\t')),
                      "main\tGET\t\tqzr#updater");
    }
}

// Every failure keeps what stood at the target and leaves no partial file.
// Only a verified https server is trusted, redirects included; redirect loops
// and stalled servers end.
TEST_F(DownloadTest, FailuresLeaveTheTargetAsItWas) {
    const std::wstring httpFile = test::ServerUrl("http", kMirrorPath + L"plain.bin");
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"plain.bin", "plain"));
    struct Case {
        std::wstring url;
        const char* code;
        size_t requests;
    } cases[] = {
        {test::ServerUrl("main", L"/fault/status/404"), "404", 1},
        {test::ServerUrl("main", L"/fault/status/500"), "500", 1},
        {test::ServerUrl("main", L"/fault/status/206"), "206", 1},
        {test::ServerUrl("main", L"/fault/redirect-loop"), "302", 31}, // 1 + 30 followed
        {test::ServerUrl("main", L"/fault/redirect-to?url=" + httpFile), "302", 1},
        {test::ServerUrl("main", L"/fault/cut?size=100000&send=20000"), "200", 1},
        // A server that goes quiet is left after the stall time, before or
        // after the status line.
        {test::ServerUrl("main", L"/fault/stall?send=20000&hold=100"), "200", 1},
        {test::ServerUrl("main", L"/fault/stall?headers=0&hold=100"), "0", 1},
        {httpFile, "0", 0},
        {test::ServerUrl("selfsigned", kMirrorPath + L"plain.bin"), "0", 0},
        {test::ServerUrl("wrongname", kMirrorPath + L"plain.bin"), "0", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Narrow(c.url));
        test::LogCapture log;
        test::RequestLog requests;
        ASSERT_TRUE(test::WriteFileBytes(L"out.bin", "old"));
        EXPECT_FALSE(DownloadFile(c.url, L"out.bin"));
        EXPECT_EQ(test::ReadFileBytes(L"out.bin"), "old");
        EXPECT_FALSE(test::PathExists(L"out.bin.part"));
        EXPECT_EQ(log.Text(), DownloadLog(c.url, L"out.bin", Failed(c.code)));
        EXPECT_EQ(requests.Lines().size(), c.requests);
    }
}

TEST_F(DownloadTest, FromMirrorsTriesTheMirrorThenTheServerOnce) {
    const std::string ok = "[INFO] Download successful", missing = Failed("404");
    struct Case {
        const char* mirror; // body on the mirror, or nullptr
        const char* server; // body on the server, or nullptr
        const char* stored; // what ends up in the file, or nullptr
    } cases[] = {
        {"from mirror", "from server", "from mirror"},
        {nullptr, "from server", "from server"},
        {nullptr, nullptr, nullptr},
    };
    const std::wstring file = L"a\\b\\c.dll";
    for (const Case& c : cases) {
        test::ClearSites();
        test::RemoveTree(L"a");
        test::MakeDirs(L"a\\b");
        ASSERT_TRUE(!c.mirror || test::PutSiteFile(test::Site::Mirror, L"a/b/c.dll", c.mirror));
        ASSERT_TRUE(!c.server || test::PutSiteFile(test::Site::Server, L"a/b/c.dll", c.server));
        test::LogCapture log;
        test::RequestLog requests;
        EXPECT_EQ(DownloadFromMirrors(file), c.stored != nullptr);

        std::string expected = "[INFO] Downloading from GitHub: a\\b\\c.dll\n" +
                               DownloadLog(kMirror + L"a/b/c.dll", file, c.mirror ? ok : missing);
        std::vector<std::wstring> urls = {kMirror + L"a/b/c.dll"};
        if (!c.mirror) {
            expected += "[INFO] GitHub failed, trying main server: a\\b\\c.dll\n" +
                        DownloadLog(kServer + L"a/b/c.dll", file, c.server ? ok : missing);
            urls.push_back(kServer + L"a/b/c.dll");
        }
        if (!c.stored)
            expected += "[ERROR] Failed to download: a\\b\\c.dll\n";
        EXPECT_EQ(log.Text(), expected);
        std::vector<std::string> targets;
        for (const std::wstring& url : urls)
            targets.push_back(test::Narrow(url.substr(url.find(L'/', 8))));
        EXPECT_EQ(requests.Targets(), targets);
        EXPECT_EQ(test::ReadFileBytes(file), c.stored ? c.stored : "");
        EXPECT_EQ(test::FileExists(file), c.stored != nullptr);
        EXPECT_FALSE(test::PathExists(file + L".part"));
    }
}
