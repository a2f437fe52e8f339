// DownloadFile against the local HTTPS test server: what reaches the disk,
// what the server saw and what the log says.
#include "net/net.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

const std::wstring kMirror = UPDATER_MIRROR_BASE_URL;
const std::wstring kMirrorPath = kMirror.substr(kMirror.find(L'/', 8)); // "/.../main/"

std::string DownloadLog(const std::wstring& url, const std::wstring& path,
                        const std::string& last) {
    return "[INFO] Downloading from: " + test::Narrow(url) +
           "\n[INFO] Saving to: " + test::Narrow(path) + "\n" + last + "\n";
}

class DownloadTest : public testing::Test {
  protected:
    DownloadTest() { test::ClearSites(); }
    test::ScopedWorkDir dir_;
    test::LogCapture log_;
    test::RequestLog requests_;
};

TEST_F(DownloadTest, StoresThe200BodyByteForByte) {
    std::string binary;
    for (int round = 0; round < 1200; ++round)
        for (int b = 0; b < 256; ++b)
            binary += static_cast<char>(b);
    binary += "\r\n\x1a\n";
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"bin/all-bytes.bin", binary));
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"empty.bin", ""));
    struct Case {
        std::wstring url;
        std::string body;
        size_t requests;
        const char* existing; // a file already at the target, replaced
    } cases[] = {
        {kMirror + L"bin/all-bytes.bin", binary, 1, nullptr},
        {kMirror + L"empty.bin", "", 1, "old"},
        {test::ServerUrl("main", L"/fault/redirect/3" + kMirrorPath + L"bin/all-bytes.bin"), binary,
         4, "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Narrow(c.url));
        test::LogCapture log;
        test::RequestLog requests;
        if (c.existing) {
            ASSERT_TRUE(test::WriteFileBytes(L"out.bin", c.existing));
        }
        EXPECT_TRUE(DownloadFile(c.url, L"out.bin"));
        EXPECT_TRUE(test::FileExists(L"out.bin"));
        EXPECT_TRUE(test::ReadFileBytes(L"out.bin") == c.body);
        EXPECT_FALSE(test::PathExists(L"out.bin.part"));
        EXPECT_EQ(log.Text(), DownloadLog(c.url, L"out.bin", "[INFO] Download successful"));
        auto seen = requests.Requests();
        ASSERT_EQ(seen.size(), c.requests);
        for (const auto& r : seen) {
            EXPECT_EQ(r.method, "GET");
            EXPECT_EQ(r.userAgent, "qzr#updater");
        }
    }
}

// Every failure keeps what stood at the target and leaves no partial file.
TEST_F(DownloadTest, FailuresLeaveTheTargetAsItWas) {
    const std::wstring httpFile =
        test::ServerUrl("http", kMirrorPath + L"plain.bin"); // served, if asked
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"plain.bin", "plain"));
    struct Case {
        std::wstring url;
        const char* code;
        size_t requests;
        bool existing;
    } cases[] = {
        {test::ServerUrl("main", L"/fault/status/404"), "404", 1, false},
        {test::ServerUrl("main", L"/fault/status/404"), "404", 1, true},
        {test::ServerUrl("main", L"/fault/status/500"), "500", 1, true},
        {test::ServerUrl("main", L"/fault/status/206"), "206", 1, true},
        {test::ServerUrl("main", L"/fault/status/304"), "304", 1, true},
        // 1 + 30 followed redirects, then libcurl gives up.
        {test::ServerUrl("main", L"/fault/redirect-loop"), "302", 31, false},
        {test::ServerUrl("main", L"/fault/redirect-to?url=" + httpFile), "302", 1, true},
        {test::ServerUrl("main", L"/fault/cut?size=100000&send=20000"), "200", 1, true},
        {httpFile, "0", 0, true},
        {test::ServerUrl("refused", L"/x.bin"), "0", 0, true},
        {test::ServerUrl("selfsigned", kMirrorPath + L"plain.bin"), "0", 0, true},
        {test::ServerUrl("wrongname", kMirrorPath + L"plain.bin"), "0", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Narrow(c.url) + (c.existing ? " over an existing file" : ""));
        test::LogCapture log;
        test::RequestLog requests;
        if (c.existing) {
            ASSERT_TRUE(test::WriteFileBytes(L"out.bin", "old"));
        }
        EXPECT_FALSE(DownloadFile(c.url, L"out.bin"));
        if (c.existing)
            EXPECT_EQ(test::ReadFileBytes(L"out.bin"), "old");
        else
            EXPECT_FALSE(test::PathExists(L"out.bin"));
        EXPECT_FALSE(test::PathExists(L"out.bin.part"));
        EXPECT_EQ(log.Text(),
                  DownloadLog(c.url, L"out.bin",
                              std::string("[ERROR] Download failed with HTTP code: ") + c.code));
        EXPECT_EQ(requests.Requests().size(), c.requests);
        test::RemoveTree(L"out.bin");
    }
}

// A server that goes quiet is left after the stall time, not when it hangs up.
TEST_F(DownloadTest, StalledTransfersAreAbandoned) {
    struct Case {
        const wchar_t* path;
        const char* code;
    } cases[] = {
        {L"/fault/stall?send=20000&hold=100", "200"},
        {L"/fault/stall?headers=0&hold=100", "0"},
    };
    for (const Case& c : cases) {
        const std::wstring url = test::ServerUrl("main", c.path);
        SCOPED_TRACE(test::Narrow(url));
        test::LogCapture log;
        ASSERT_TRUE(test::WriteFileBytes(L"out.bin", "old"));
        auto begin = std::chrono::steady_clock::now();
        bool result = true;
        std::thread transfer([&] { result = DownloadFile(url, L"out.bin"); });
        // Mid-transfer the bytes go to the side file; the target stays whole.
        bool sawPart = false;
        for (int i = 0; i < 40 && !sawPart; ++i) {
            sawPart = test::ReadFileBytes(L"out.bin.part").size() >= 4096;
            Sleep(50);
        }
        EXPECT_EQ(test::ReadFileBytes(L"out.bin"), "old");
        transfer.join();
        EXPECT_EQ(sawPart, c.code[0] == '2');
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(60));
        EXPECT_FALSE(result);
        EXPECT_EQ(test::ReadFileBytes(L"out.bin"), "old");
        EXPECT_FALSE(test::PathExists(L"out.bin.part"));
        EXPECT_EQ(log.Text(),
                  DownloadLog(url, L"out.bin",
                              std::string("[ERROR] Download failed with HTTP code: ") + c.code));
    }
}

TEST_F(DownloadTest, MissingDirectorySendsNoRequest) {
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"x.bin", "x"));
    EXPECT_FALSE(DownloadFile(kMirror + L"x.bin", L"missing\\x.bin"));
    EXPECT_FALSE(test::PathExists(L"missing"));
    EXPECT_EQ(log_.Text(), DownloadLog(kMirror + L"x.bin", L"missing\\x.bin",
                                       "[ERROR] Failed to open file for writing: missing\\x.bin"));
    EXPECT_TRUE(requests_.Requests().empty());
}

TEST_F(DownloadTest, FailedMoveIntoPlaceIsAFailure) {
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"x.bin", "x"));
    ASSERT_TRUE(CreateDirectoryW(L"x.bin", nullptr));
    EXPECT_FALSE(DownloadFile(kMirror + L"x.bin", L"x.bin"));
    EXPECT_TRUE(test::DirectoryExists(L"x.bin"));
    EXPECT_FALSE(test::PathExists(L"x.bin.part"));
    std::string text = log_.Text();
    EXPECT_NE(text.find("\n[ERROR] Failed to move download into place: x.bin (error "),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Download successful"), std::string::npos);
}

TEST_F(DownloadTest, NonAsciiNameIsSentAsUtf8) {
    const std::wstring name = L"caf\u00e9\u0416.bin";
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, name, "utf-8"));
    EXPECT_TRUE(DownloadFile(kMirror + name, name));
    EXPECT_EQ(test::ReadFileBytes(name), "utf-8");
    auto seen = requests_.Requests();
    ASSERT_EQ(seen.size(), 1u);
    // libcurl puts the UTF-8 bytes on the wire percent-encoded.
    EXPECT_EQ(test::PercentDecoded(seen[0].target),
              test::Narrow(kMirrorPath) + "caf\xC3\xA9\xD0\x96.bin")
        << seen[0].target;
}

} // namespace
