// DownloadFile and the mirror-then-server fallback against the local HTTPS
// test server: what reaches the disk, what the server saw and what the log says.
#include "net/net.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

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

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Column k (from 0) of a request log line.
std::string Column(const std::string& line, int k) {
    size_t start = 0;
    for (int i = 0; i < k; ++i)
        start = line.find('\t', start) + 1;
    return line.substr(start, line.find('\t', start) - start);
}

std::string Bytes(size_t n, int seed) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i)
        bytes += static_cast<char>((i * 7 + static_cast<size_t>(seed)) % 256);
    return bytes;
}

class DownloadTest : public testing::Test {
  protected:
    DownloadTest() { test::ClearSites(); }
    test::ScopedWorkDir dir_;
};

} // namespace

// Only a whole 200 reply replaces the file; every failure keeps what stood at
// the target and leaves no partial file behind when nothing can be resumed.
// Only a verified https server is trusted, redirects included; redirect loops
// and stalled servers end. Transient failures are tried three times in all,
// the others once, and each failure says libcurl's reason.
TEST_F(DownloadTest, OnlyAWhole200FromAVerifiedServerReplacesTheFile) {
    const std::string binary = Bytes(300000, 0);
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"bin/all-bytes.bin", binary));
    const std::wstring mirrorFile = kMirrorPath + L"bin/all-bytes.bin";
    const std::wstring httpFile = test::ServerUrl("http", mirrorFile);
    const std::string refusedCertificate = "SSL peer certificate or SSH remote key was not OK";
    struct Case {
        std::wstring url;
        const char* code; // nullptr: success
        size_t requests, attempts;
        std::string reason; // of the last failure; empty: none logged
    } cases[] = {
        {kMirror + L"bin/all-bytes.bin", nullptr, 1, 1, ""},
        {test::ServerUrl("main", L"/fault/redirect/3" + mirrorFile), nullptr, 4, 1, ""},
        {test::ServerUrl("main", L"/fault/status/404"), "404", 1, 1, ""},
        {test::ServerUrl("main", L"/fault/status/503"), "503", 3, 3, ""},
        {test::ServerUrl("main", L"/fault/status/206"), "206", 1, 1, ""},
        {test::ServerUrl("main", L"/fault/redirect-loop"), "302", 31, 1,
         "Number of redirects hit maximum amount"}, // 1 + 30 followed
        {test::ServerUrl("main", L"/fault/redirect-to?url=" + httpFile), "302", 1, 1,
         "Unsupported protocol"},
        // Schannel reports the early close as a receive failure.
        {test::ServerUrl("main", L"/fault/cut?size=100000&send=20000"), "200", 3, 3,
         "Failure when receiving data from the peer"},
        // A server that goes quiet after the status line.
        {test::ServerUrl("main", L"/fault/stall?send=20000&hold=100"), "200", 3, 3,
         "Timeout was reached"},
        {httpFile, "0", 0, 1, "Unsupported protocol"},
        {test::ServerUrl("selfsigned", mirrorFile), "0", 0, 1, refusedCertificate},
        {test::ServerUrl("wrongname", mirrorFile), "0", 0, 1, refusedCertificate},
        {test::ServerUrl("refused", L"/x"), "0", 0, 3, "Couldn't connect to server"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Narrow(c.url));
        test::LogCapture log;
        test::RequestLog requests;
        ASSERT_TRUE(test::WriteFileBytes(L"out.bin", "old"));
        EXPECT_EQ(DownloadFile(c.url, L"out.bin"), !c.code);
        EXPECT_TRUE(test::ReadFileBytes(L"out.bin") == (c.code ? "old" : binary));
        EXPECT_FALSE(test::PathExists(L"out.bin.part"));
        EXPECT_FALSE(test::PathExists(L"out.bin.part.info"));
        const std::string text = log.Text();
        const std::string last =
            c.code
                ? Failed(c.code) + (c.reason.empty() ? "" : "\n[ERROR] Transfer error: " + c.reason)
                : "[INFO] Download successful";
        const std::string head = DownloadLog(c.url, L"out.bin", "");
        EXPECT_EQ(text.substr(0, head.size() - 1), head.substr(0, head.size() - 1));
        EXPECT_EQ(text.substr(text.size() - last.size() - 1), last + "\n") << text;
        EXPECT_EQ(Count(text, "] Download failed with HTTP code: "), c.code ? c.attempts : 0)
            << text;
        EXPECT_EQ(Count(text, "[INFO] Retrying in "), c.attempts - 1) << text;
        EXPECT_EQ(requests.Lines().size(), c.requests);
        for (const std::string& line : requests.Lines())
            EXPECT_EQ(Column(line, 0) + Column(line, 3), "mainqzr#updater");
    }
}

// A body that breaks off keeps its part and the next request asks for the
// rest, guarded by the validator; a server that cannot continue, a changed
// file or a stale leftover means starting from byte 0. The file placed is
// always the whole, exact body.
TEST_F(DownloadTest, ABrokenOffBodyIsContinuedWhereThatIsSafe) {
    const std::string body = Bytes(300000, 1);
    const std::wstring url = kMirror + L"big.bin";
    const std::string etag = "\"v1\"";
    struct Case {
        const char* name;
        std::string serve;               // the file's serving options
        std::string part;                // a leftover <name>.part before the call
        std::string info;                // and its info
        std::vector<std::string> ranges; // the Range header of each request
        std::vector<std::string> ifRanges;
    } cases[] = {
        {"cut at 60%, then the rest",
         "etag=v1&cut=180000",
         "",
         "",
         {"", "bytes=180000-"},
         {"", etag}},
        {"a date as the validator",
         "lastmod=Mon, 07 Dec 2026 10:00:00 GMT&cut=180000",
         "",
         "",
         {"", "bytes=180000-"},
         {"", "Mon, 07 Dec 2026 10:00:00 GMT"}},
        {"a 200 to the Range",
         "etag=v1&cut=180000&range=200",
         "",
         "",
         {"", "bytes=180000-"},
         {"", etag}},
        {"a 416 to the Range",
         "etag=v1&cut=180000&range=416",
         "",
         "",
         {"", "bytes=180000-", ""},
         {"", etag, ""}},
        {"a weak ETag keeps nothing", "etag=v1&weak=1&cut=180000", "", "", {"", ""}, {"", ""}},
        {"the file changed since",
         "etag=v2",
         body.substr(0, 1000),
         "velmora-part 1\nurl " + test::Narrow(url) + "\nlength 300000\netag \"v1\"\n",
         {"bytes=1000-"},
         {etag}},
        {"a part without its info", "etag=v1", "stale bytes", "", {""}, {""}},
        {"info that does not parse",
         "etag=v1",
         "stale bytes",
         "velmora-part 1\nurl x\n",
         {""},
         {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ClearSites();
        ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"big.bin", body));
        ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"big.bin.serve", c.serve));
        test::RemoveTree(L"big.bin.part");
        test::RemoveTree(L"big.bin.part.info");
        ASSERT_TRUE(c.part.empty() || test::WriteFileBytes(L"big.bin.part", c.part));
        ASSERT_TRUE(c.info.empty() || test::WriteFileBytes(L"big.bin.part.info", c.info));
        test::RequestLog requests;
        EXPECT_TRUE(DownloadFile(url, L"big.bin"));
        EXPECT_TRUE(test::ReadFileBytes(L"big.bin") == body);
        EXPECT_FALSE(test::PathExists(L"big.bin.part"));
        EXPECT_FALSE(test::PathExists(L"big.bin.part.info"));
        std::vector<std::string> ranges, ifRanges;
        for (const std::string& line : requests.Lines()) {
            ranges.push_back(Column(line, 4));
            ifRanges.push_back(Column(line, 5));
        }
        EXPECT_EQ(ranges, c.ranges);
        EXPECT_EQ(ifRanges, c.ifRanges);
    }
}

// A transfer cut on every attempt keeps its part for the next start, which
// asks for the rest only.
TEST_F(DownloadTest, APartKeptByOneCallIsContinuedByTheNext) {
    const std::string body = Bytes(300000, 2);
    const std::wstring url = kMirror + L"big.bin";
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"big.bin", body));
    ASSERT_TRUE(
        test::PutSiteFile(test::Site::Mirror, L"big.bin.serve", "etag=v1&cut=50000&cut_times=3"));
    ASSERT_TRUE(test::WriteFileBytes(L"big.bin", "old"));
    EXPECT_FALSE(DownloadFile(url, L"big.bin"));
    EXPECT_EQ(test::ReadFileBytes(L"big.bin"), "old");
    EXPECT_EQ(test::ReadFileBytes(L"big.bin.part"), body.substr(0, 150000));
    EXPECT_TRUE(test::PathExists(L"big.bin.part.info"));

    test::RequestLog requests;
    test::LogCapture log;
    EXPECT_TRUE(DownloadFile(url, L"big.bin"));
    EXPECT_TRUE(test::ReadFileBytes(L"big.bin") == body);
    ASSERT_EQ(requests.Lines().size(), 1u);
    EXPECT_EQ(Column(requests.Lines()[0], 4), "bytes=150000-");
    EXPECT_NE(log.Text().find("[INFO] Resuming download at byte 150000\n"), std::string::npos);
}

// A 503 is tried again on the same server, after the Retry-After it names;
// a 404 goes to the main server at once.
TEST_F(DownloadTest, TransientAnswersAreRetriedOnTheSameServer) {
    const std::wstring file = L"sys\\x.dll";
    struct Case {
        const char* serve;
        std::vector<std::string> asked; // the site of each request
        const char* wait;
    } cases[] = {
        {"fail=503", {"mirror", "mirror"}, "[INFO] Retrying in 1 s\n"},
        {"fail=503&retry_after=2", {"mirror", "mirror"}, "[INFO] Retrying in 2 s\n"},
        {"fail=404", {"mirror", "server"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serve);
        test::ClearSites();
        test::RemoveTree(L"sys");
        test::MakeDirs(L"sys");
        ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"sys/x.dll", "from mirror"));
        ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"sys/x.dll.serve", c.serve));
        ASSERT_TRUE(test::PutSiteFile(test::Site::Server, L"sys/x.dll", "from server"));
        test::RequestLog requests;
        test::LogCapture log;
        EXPECT_TRUE(DownloadFromMirrors(file));
        std::vector<std::string> asked;
        for (const std::string& line : requests.Lines())
            asked.push_back(Column(line, 2).find("/download/client/") == 0 ? "server" : "mirror");
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(test::ReadFileBytes(file),
                  c.asked.back() == "mirror" ? "from mirror" : "from server");
        EXPECT_EQ(log.Text().find(c.wait ? c.wait : "Retrying") != std::string::npos,
                  c.wait != nullptr)
            << log.Text();
    }
}

TEST_F(DownloadTest, FromMirrorsTriesTheMirrorThenTheServer) {
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
