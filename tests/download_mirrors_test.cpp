// DownloadFromMirrors: URL building, then the mirror-then-server order against
// the local HTTPS test server.
#include "net/download_rules.h"
#include "net/net.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kMirror = UPDATER_MIRROR_BASE_URL;
const std::wstring kServer = UPDATER_SERVER_BASE_URL;

std::string PathOf(const std::wstring& url) {
    return test::Narrow(url.substr(url.find(L'/', 8)));
}

TEST(DownloadUrl, BackslashesBecomeSlashesAndNothingElseChanges) {
    struct Case {
        const wchar_t* path;
        const wchar_t* url;
    } cases[] = {
        {L"system64\\Game.exe", L"https://h/main/system64/Game.exe"},
        {L"a\\b\\c.dll", L"https://h/main/a/b/c.dll"},
        {L"a/b\\c.dll", L"https://h/main/a/b/c.dll"},
        {L"\\lead\\\\double\\", L"https://h/main//lead//double/"},
        {L" sp ace%20\u00e9 ", L"https://h/main/ sp ace%20\u00e9 "},
        {L"", L"https://h/main/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DownloadUrl(L"https://h/main/", c.path), c.url) << test::Narrow(c.path);
}

TEST(DownloadFromMirrors, TriesTheMirrorThenTheServerOnce) {
    struct Case {
        const wchar_t* path; // as the caller gives it
        const char* tail;    // as the servers must see it
        const char* mirror;  // body on the mirror, or nullptr
        const char* mirrorOptions;
        const char* server; // body on the server, or nullptr
        const char* mirrorEnd;
        const char* serverEnd; // nullptr: the server is not asked
    } cases[] = {
        {L"a\\b\\c.dll", "a/b/c.dll", "from mirror", "", "from server",
         "[INFO] Download successful", nullptr},
        {L"a\\b\\c.dll", "a/b/c.dll", nullptr, "", "from server",
         "[ERROR] Download failed with HTTP code: 404", "[INFO] Download successful"},
        {L"a\\b\\c.dll", "a/b/c.dll", "broken", "status=500", "from server",
         "[ERROR] Download failed with HTTP code: 500", "[INFO] Download successful"},
        {L"a\\b\\c.dll", "a/b/c.dll", nullptr, "", nullptr,
         "[ERROR] Download failed with HTTP code: 404",
         "[ERROR] Download failed with HTTP code: 404"},
        {L"a/b/c.dll", "a/b/c.dll", nullptr, "", "from server",
         "[ERROR] Download failed with HTTP code: 404", "[INFO] Download successful"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Narrow(c.path) + " " + (c.mirror ? c.mirror : "-") + " " +
                     (c.server ? c.server : "-"));
        test::ScopedWorkDir dir;
        test::ClearSites();
        test::MakeDirs(L"a\\b");
        const std::wstring tail = test::Widen(c.tail);
        if (c.mirror) {
            ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, tail, c.mirror, c.mirrorOptions));
        }
        if (c.server) {
            ASSERT_TRUE(test::PutSiteFile(test::Site::Server, tail, c.server));
        }
        test::LogCapture log;
        test::RequestLog requests;

        bool delivered = c.mirrorEnd[1] == 'I' || (c.serverEnd && c.serverEnd[1] == 'I');
        EXPECT_EQ(DownloadFromMirrors(c.path), delivered);

        const std::string path = test::Narrow(c.path);
        auto attempt = [&](const std::wstring& base, const char* end) {
            return "[INFO] Downloading from: " + test::Narrow(base) + c.tail +
                   "\n[INFO] Saving to: " + path + "\n" + end + "\n";
        };
        std::string expected =
            "[INFO] Downloading from GitHub: " + path + "\n" + attempt(kMirror, c.mirrorEnd);
        std::vector<std::string> targets = {PathOf(kMirror) + c.tail};
        if (c.serverEnd) {
            expected += "[INFO] GitHub failed, trying main server: " + path + "\n" +
                        attempt(kServer, c.serverEnd);
            targets.push_back(PathOf(kServer) + c.tail);
        }
        if (!delivered)
            expected += "[ERROR] Failed to download: " + path + "\n";
        EXPECT_EQ(log.Text(), expected);
        EXPECT_EQ(requests.Targets(), targets);
        if (delivered)
            EXPECT_EQ(test::ReadFileBytes(L"a\\b\\c.dll"), c.serverEnd ? c.server : c.mirror);
        else
            EXPECT_FALSE(test::PathExists(L"a\\b\\c.dll"));
        EXPECT_FALSE(test::PathExists(L"a\\b\\c.dll.part"));
    }
}

} // namespace
