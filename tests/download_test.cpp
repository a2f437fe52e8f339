// Downloads against the local HTTPS test server.
#include "net/tls/ca_file.h"
#include "launch/launch.h"
#include "net/net.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace test;

namespace {

const std::wstring kMirror = UPDATER_MIRROR_BASE_URL, kServer = UPDATER_SERVER_BASE_URL;
const std::wstring kMirrorPath = kMirror.substr(kMirror.find(L'/', 8)); // "/.../main/"

// 300,000 bytes, every value among them.
std::string Body() {
    std::string bytes(300000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 % 256);
    return bytes;
}

bool PartLeft(const std::wstring& path) {
    return PathExists(path + L".part") || PathExists(path + L".part.info");
}

class DownloadTest : public testing::Test {
  protected:
    DownloadTest() { ClearSites(); }
    ScopedWorkDir dir_;
};

} // namespace

// Transient failures are tried three times in all, the others once, each
// with libcurl's reason; no partial file stays when nothing can be resumed.
// Built without a CA file, as the product is, the system's roots decide
// (the test CA among them) and the log says why a server was refused.
TEST_F(DownloadTest, OnlyAWhole200FromAVerifiedServerReplacesTheFile) {
    const std::string body = Body();
    ASSERT_TRUE(PutSiteFile(L"mirror/bin/all-bytes.bin", body));
    const std::wstring file = kMirrorPath + L"bin/all-bytes.bin";
    const std::wstring http = ServerUrl("http", file);
    auto refused = [](const std::string& why) {
        return kCaFile[0] ? "SSL peer certificate or SSH remote key was not OK"
                          : "The server's certificate was refused: " + why;
    };
    auto fault = [](const std::wstring& path) { return ServerUrl("main", L"/fault/" + path); };
    const struct {
        std::wstring url;
        const char* code; // nullptr: success
        size_t requests, attempts;
        std::string reason; // of the last failure; empty: none logged
    } cases[] = {
        {kMirror + L"bin/all-bytes.bin", nullptr, 1, 1, ""},
        {fault(L"redirect/3" + file), nullptr, 4, 1, ""},
        {fault(L"status/404"), "404", 1, 1, ""},
        {fault(L"status/503"), "503", 3, 3, ""},
        {fault(L"status/206"), "206", 1, 1, ""},
        {fault(L"redirect-loop"), "302", 31, 1, "Number of redirects hit maximum amount"},
        {fault(L"redirect-to?url=" + http), "302", 1, 1, "Unsupported protocol"},
        // Schannel reports the early close as a receive failure.
        {fault(L"cut?size=100000&send=20000"), "200", 3, 3,
         "Failure when receiving data from the peer"},
        {fault(L"stall?send=20000&hold=100"), "200", 3, 3, "Timeout was reached"},
        {http, "0", 0, 1, "Unsupported protocol"},
        {ServerUrl("selfsigned", file), "0", 0, 1,
         refused("its root is not trusted by the system")},
        {ServerUrl("otherca", file), "0", 0, 1, refused("its issuer is not known to the system")},
        {ServerUrl("wrongname", file), "0", 0, 1, refused("it is not made out for localhost")},
        {ServerUrl("refused", L"/x"), "0", 0, 3, "Couldn't connect to server"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.url));
        LogCapture log;
        RequestLog requests;
        ASSERT_TRUE(WriteFileBytes(L"out.bin", "old"));
        EXPECT_EQ(DownloadFile(c.url, L"out.bin"), !c.code);
        EXPECT_TRUE(ReadFileBytes(L"out.bin") == (c.code ? "old" : body) && !PartLeft(L"out.bin"));
        const std::string text = log.Text();
        std::string last = "[INFO] Download successful";
        if (c.code)
            last = "[ERROR] Download failed with HTTP code: " + std::string(c.code) +
                   (c.reason.empty() ? "" : "\n[ERROR] Transfer error: " + c.reason);
        EXPECT_EQ(text.substr(text.size() - last.size() - 1), last + "\n") << text;
        EXPECT_EQ(std::pair(CountOf(text, "] Download failed with HTTP code: "),
                            CountOf(text, "[INFO] Retrying in ")),
                  std::pair(c.code ? c.attempts : 0, c.attempts - 1))
            << text;
        EXPECT_TRUE(requests.Column(0) == std::vector<std::string>(c.requests, "main") &&
                    requests.Column(3) == std::vector<std::string>(c.requests, "qzr#updater"));
    }
}

// A server that cannot continue, a changed file or a stale leftover means
// starting from byte 0; a part kept by a failed call is continued by the next.
TEST_F(DownloadTest, ABrokenOffBodyIsContinuedWhereThatIsSafe) {
    const std::string body = Body(), v1 = "\"v1\"", date = "Mon, 07 Dec 2026 10:00:00 GMT";
    const std::wstring url = kMirror + L"big.bin";
    const std::string info =
        "velmora-part 1\nurl " + Narrow(url) + "\nlength 300000\netag \"v1\"\n";
    const struct {
        std::string serve, part, info;             // serving options; a leftover part and its info
        std::vector<std::string> ranges, ifRanges; // of each request
        bool firstCallFails = false;               // three cuts: the part is kept for a second call
    } cases[] = {
        {"etag=v1&cut=180000", "", "", {"", "bytes=180000-"}, {"", v1}},
        {"lastmod=" + date + "&cut=180000", "", "", {"", "bytes=180000-"}, {"", date}},
        {"etag=v1&cut=180000&range=200", "", "", {"", "bytes=180000-"}, {"", v1}},
        {"etag=v1&cut=180000&range=416", "", "", {"", "bytes=180000-", ""}, {"", v1, ""}},
        {"etag=v1&weak=1&cut=180000", "", "", {"", ""}, {"", ""}},      // a weak ETag keeps nothing
        {"etag=v2", body.substr(0, 1000), info, {"bytes=1000-"}, {v1}}, // changed since
        {"etag=v1", "stale bytes", "", {""}, {""}},                     // a part without info
        {"etag=v1", "stale bytes", "velmora-part 1\nurl x\n", {""}, {""}},
        {"etag=v1&cut=50000&cut_times=3", "", "", {"bytes=150000-"}, {v1}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serve + " " + c.info);
        ClearSites();
        ScopedWorkDir dir;
        ASSERT_TRUE(PutSiteFile(L"mirror/big.bin", body) &&
                    PutSiteFile(L"mirror/big.bin.serve", c.serve) &&
                    (c.part.empty() || WriteFileBytes(L"big.bin.part", c.part)) &&
                    (c.info.empty() || WriteFileBytes(L"big.bin.part.info", c.info)) &&
                    WriteFileBytes(L"big.bin", "old"));
        if (c.firstCallFails) {
            EXPECT_FALSE(DownloadFile(url, L"big.bin"));
            EXPECT_TRUE(ReadFileBytes(L"big.bin") == "old" &&
                        ReadFileBytes(L"big.bin.part") == body.substr(0, 150000));
        }
        RequestLog requests;
        LogCapture log;
        EXPECT_TRUE(DownloadFile(url, L"big.bin"));
        EXPECT_TRUE(ReadFileBytes(L"big.bin") == body && !PartLeft(L"big.bin"));
        EXPECT_EQ(std::pair(requests.Column(4), requests.Column(5)),
                  std::pair(c.ranges, c.ifRanges));
        EXPECT_EQ(CountOf(log.Text(), "[INFO] Resuming download at byte 150000\n"),
                  c.firstCallFails ? 1u : 0u);
    }
}

// The mirror first, the main server after a failure there; a transient answer
// is tried again on the same server, after the Retry-After it names. Every
// line of the fallback, as it stands, for a file on neither.
TEST_F(DownloadTest, FromMirrorsRetriesThenFallsBack) {
    const std::wstring file = L"a\\b\\c.dll";
    const std::string mirrorUrl = Narrow(kMirror) + "a/b/c.dll",
                      serverUrl = Narrow(kServer) + "a/b/c.dll";
    const std::string m = mirrorUrl.substr(mirrorUrl.find('/', 8)),
                      s = serverUrl.substr(serverUrl.find('/', 8));
    const std::string tried =
        "\n[INFO] Saving to: a\\b\\c.dll\n[ERROR] Download failed with HTTP code: 404\n";
    const std::string fallback =
        "[INFO] Downloading from GitHub: a\\b\\c.dll\n[INFO] Downloading from: " + mirrorUrl +
        tried + "[INFO] GitHub failed, trying main server: a\\b\\c.dll\n[INFO] Downloading from: " +
        serverUrl + tried + "[ERROR] Failed to download: a\\b\\c.dll\n";
    const struct {
        const char *mirror, *serve, *server;
        std::vector<std::string> asked; // the paths asked, in order
    } cases[] = {
        {"from mirror", "", "from server", {m}},
        {"from mirror", "fail=503&retry_after=2", "from server", {m, m}},
        {nullptr, "", "from server", {m, s}},
        {nullptr, "", nullptr, {m, s}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked.size());
        ClearSites();
        RemoveTree(L"a");
        MakeDirs(L"a\\b");
        ASSERT_TRUE((!c.mirror || PutSiteFile(L"mirror/a/b/c.dll", c.mirror)) &&
                    PutSiteFile(L"mirror/a/b/c.dll.serve", c.serve) &&
                    (!c.server || PutSiteFile(L"server/a/b/c.dll", c.server)));
        LogCapture log;
        RequestLog requests;
        const char* stored = c.mirror ? c.mirror : c.server;
        EXPECT_EQ(DownloadFromMirrors(file), stored != nullptr);
        EXPECT_EQ(requests.Column(2), c.asked);
        EXPECT_EQ(CountOf(log.Text(), "[INFO] Retrying in 2 s\n"), *c.serve ? 1u : 0u);
        EXPECT_TRUE(stored || log.Text() == fallback) << log.Text();
        EXPECT_TRUE(ReadFileBytes(file) == (stored ? stored : "") &&
                    PathExists(file) == (stored != nullptr) && !PathExists(file + L".part"));
    }
}

// Another program's writer (shared, as the C runtime's plain open is) keeps
// the partial file from being used.
TEST_F(DownloadTest, ThePartialFileIsNotShared) {
    ASSERT_TRUE(PutSiteFile(L"mirror/x.bin", "new") && WriteFileBytes(L"out.bin", "old"));
    HANDLE other = CreateFileW(L"out.bin.part", GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    LogCapture log;
    RequestLog requests;
    EXPECT_FALSE(DownloadFile(kMirror + L"x.bin", L"out.bin"));
    CloseHandle(other);
    EXPECT_EQ(CountOf(log.Text(), "[ERROR] Failed to open file for writing: out.bin"), 1u);
    EXPECT_TRUE(requests.Column(0).empty() && ReadFileBytes(L"out.bin") == "old");
}

// A continuation answered by a 200 is the file anew, whatever its length: an
// empty body leaves an empty file, never the kept half.
TEST_F(DownloadTest, AContinuationAnsweredByAnEmpty200TakesThatBody) {
    const std::wstring url = kMirror + L"half.bin";
    ASSERT_TRUE(PutSiteFile(L"mirror/half.bin", Body()) &&
                PutSiteFile(L"mirror/half.bin.serve", "etag=v1&range=empty") &&
                WriteFileBytes(L"half.bin.part", Body().substr(0, 1000)) &&
                WriteFileBytes(L"half.bin.part.info", "velmora-part 1\nurl " + Narrow(url) +
                                                          "\nlength 300000\netag \"v1\"\n"));
    EXPECT_TRUE(DownloadFile(url, L"half.bin"));
    EXPECT_TRUE(PathExists(L"half.bin") && ReadFileBytes(L"half.bin").empty() &&
                !PartLeft(L"half.bin"));
}

// A whole download that cannot be moved into place (another program has the
// old file open) keeps its part and info; the next call places it unasked.
TEST_F(DownloadTest, AWholeDownloadThatCannotBePlacedIsKept) {
    const std::wstring url = kMirror + L"held.bin";
    ASSERT_TRUE(PutSiteFile(L"mirror/held.bin", Body()) &&
                PutSiteFile(L"mirror/held.bin.serve", "etag=v1") &&
                WriteFileBytes(L"held.bin", "old"));
    HANDLE holder = HoldFiles(L"exclusive", {L"held.bin"});
    ASSERT_NE(holder, nullptr);
    RequestLog requests;
    DownloadFailure why;
    EXPECT_FALSE(DownloadFile(url, L"held.bin", {}, &why));
    EndProcess(holder);
    EXPECT_EQ(why.kind, FetchFailure::NotWritable);
    EXPECT_TRUE(ReadFileBytes(L"held.bin.part") == Body() && PathExists(L"held.bin.part.info"));
    EXPECT_TRUE(DownloadFile(url, L"held.bin"));
    EXPECT_TRUE(ReadFileBytes(L"held.bin") == Body() && !PartLeft(L"held.bin"));
    EXPECT_EQ(requests.Column(0).size(), 1u);
}

// The failure box says what happened and what the player can do.
TEST_F(DownloadTest, TheFailureBoxSaysWhyAndWhatToDo) {
    const struct {
        std::wstring url;
        std::string says;
    } cases[] = {
        {ServerUrl("refused", L"/x"), "The game's servers could not be reached. Check the internet "
                                      "connection and the proxy settings of Windows"},
        {ServerUrl("main", L"/fault/status/404"), "The game's servers do not have this file."},
        {ServerUrl("selfsigned", L"/x"), "The game's servers could not be trusted: something on "
                                         "this PC or its network intercepts the connection"},
    };
    for (const auto& c : cases) {
        DownloadFailure why;
        EXPECT_FALSE(DownloadFile(c.url, L"x.dll", {}, &why));
        const std::string text = Narrow(DownloadFailureText(L"x.dll", why));
        EXPECT_EQ(text.find("Failed to download required file: x.dll\n\n" + c.says), 0u) << text;
    }
}

// Run under faketime, before this build and past the test certificate's end.
TEST_F(DownloadTest, AWrongClockIsNamed) {
    if (GetEnvironmentVariableW(L"FAKETIME", nullptr, 0) == 0)
        GTEST_SKIP() << "runs under faketime";
    ASSERT_TRUE(PutSiteFile(L"mirror/x.dll", "x"));
    DownloadFailure why;
    EXPECT_FALSE(DownloadFile(kMirror + L"x.dll", L"x.dll", {}, &why));
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string text = Narrow(DownloadFailureText(L"x.dll", why));
    EXPECT_NE(text.find("\n\nYour computer's clock is set to "), std::string::npos) << text;
    EXPECT_NE(text.find(std::to_string(now.wYear) +
                        ". Set the date and time right, then start the game again."),
              std::string::npos)
        << text;
}
