// The transfers of a run share their connection: signed runtime files and
// their signatures reach the server over one, and a file continued after a
// cut still verifies, its kept bytes hashed before the rest.
#include "net/net.h"
#include "net/signing_key.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

// This program's key, in place of the build's (none in the test build).
const char kSigningKey[] = TEST_SIGNING_KEY;

namespace {

size_t Connections() {
    return test::CountOf(test::ReadFileBytes(test::BuildDir() + L"\\test-server\\connections.log"),
                         "main\n");
}

} // namespace

TEST(Connection, ARunsSignedFilesShareOneConnection) {
    const std::wstring signatures = test::BuildDir() + L"\\test-signatures\\";
    const std::string file = test::ReadFileBytes(signatures + L"Game.exe");
    const std::string sig = test::ReadFileBytes(signatures + L"prehashed.minisig");
    ASSERT_GT(file.size(), 100000u);
    test::ClearSites();
    test::ScopedWorkDir dir;
    struct Case {
        const wchar_t* folder;
        const char* serve;  // the .serve options of the mirror's file
        size_t connections; // opened for the file and its signature
    } cases[] = {
        {L"a", "", 1},
        {L"b", "", 0},
        // Hung up on: the retry reconnects and asks for the rest only.
        {L"c", "etag=v1&cut=70000", 1},
        {L"d", "", 0},
    };
    for (const Case& c : cases) {
        const std::wstring path = std::wstring(L"sys\\") + c.folder + L"\\Game.exe";
        SCOPED_TRACE(test::Narrow(path));
        test::MakeDirs(std::wstring(L"sys\\") + c.folder);
        const std::wstring site = std::wstring(L"sys/") + c.folder + L"/Game.exe";
        ASSERT_TRUE(test::PutSiteFile(L"mirror/" + site, file) &&
                    test::PutSiteFile(L"mirror/" + site + L".minisig", sig) &&
                    test::PutSiteFile(L"mirror/" + site + L".serve", c.serve));
        const size_t before = Connections();
        test::LogCapture log;
        EXPECT_TRUE(DownloadFromMirrors(path)) << log.Text();
        EXPECT_TRUE(test::ReadFileBytes(path) == file);
        EXPECT_EQ(Connections() - before, c.connections);
        EXPECT_EQ(test::CountOf(log.Text(), "Resuming download at byte 70000"),
                  c.serve[0] ? 1u : 0u);
    }
}
