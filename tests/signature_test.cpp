// With a signing key built in, a runtime file is placed only with a good
// minisign signature from the same server; anything else is that server's
// failure. make_test_signatures.sh signs at test time with the key linked here.
#include "launch/launch.h"
#include "net/net.h"
#include "net/signature/signing_key.h"
#include "net/signature/verify_signature.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace test;

#include <optional>

// This program's key, in place of the build's (none in the test build).
const char kSigningKey[] = TEST_SIGNING_KEY;

namespace {

// The path a base URL gives sys/Game.exe.
std::string GamePath(const std::wstring& base) {
    return Narrow(base.substr(base.find(L'/', 8))) + "sys/Game.exe";
}

std::string Fixture(const wchar_t* name) {
    return ReadFileBytes(BuildDir() + L"\\test-signatures\\" + name);
}

} // namespace

// First, while no connection is open: the transfers of a run share their
// connection, a file and its signature reach the server over one, and a file
// continued after a cut still verifies, its kept bytes hashed before the rest.
TEST(Signature, ARunsSignedFilesShareOneConnection) {
    const std::string file = Fixture(L"Game.exe"), sig = Fixture(L"prehashed.minisig");
    auto connections = [] {
        return CountOf(ReadFileBytes(BuildDir() + L"\\test-server\\connections.log"), "main\n");
    };
    ClearSites();
    ScopedWorkDir dir;
    // The .serve options of the mirror's file; the connections opened for it.
    for (auto [folder, serve, opened] : {std::tuple(L"a", "", 1u),
                                         {L"b", "", 0u},
                                         {L"c", "etag=v1&cut=70000", 1u},
                                         {L"d", "", 0u}}) {
        const std::wstring path = std::wstring(L"sys\\") + folder + L"\\Game.exe";
        const std::wstring site = std::wstring(L"mirror/sys/") + folder + L"/Game.exe";
        SCOPED_TRACE(Narrow(path));
        MakeDirs(std::wstring(L"sys\\") + folder);
        ASSERT_TRUE(PutSiteFile(site, file) && PutSiteFile(site + L".minisig", sig) &&
                    PutSiteFile(site + L".serve", serve));
        const size_t before = connections();
        LogCapture log;
        EXPECT_TRUE(DownloadFromMirrors(path)) << log.Text();
        EXPECT_TRUE(ReadFileBytes(path) == file);
        EXPECT_EQ(connections() - before, opened);
        EXPECT_EQ(CountOf(log.Text(), "Resuming download at byte 70000"), *serve ? 1u : 0u);
    }
}

TEST(Signature, OnlyAGoodSignatureFromTheSameServerPlacesTheFile) {
    const std::string file = Fixture(L"Game.exe"), good = Fixture(L"prehashed.minisig");
    ASSERT_TRUE(file.size() > 1000 && !good.empty());
    std::string flipped = file, nonBase64 = good;
    flipped[flipped.size() / 2] ^= 0x01;
    nonBase64[nonBase64.find('\n') + 10] = '*';
    const std::string overLong =
        "untrusted comment: " + std::string(5000, 'x') + "\n" + good.substr(good.find('\n') + 1);
    struct Case {
        std::string mirrorFile;
        std::optional<std::string> mirrorSig; // nullopt: none on the mirror (404)
        const char* refusal;                  // the mirror's reason; nullptr: accepted
        bool serverHasGood = false;           // the file and a good signature
    } cases[] = {
        {file, good, nullptr},
        {file, Fixture(L"legacy.minisig"), nullptr},
        {flipped, good, "file does not match its signature"},
        {file, Fixture(L"other-key.minisig"), "signed with another key"},
        {file, Fixture(L"other-name.minisig"), "signature is for another file"},
        {file, Fixture(L"edited-comment.minisig"), "trusted comment not signed"},
        {file, {}, "no signature (HTTP code 404"},
        {file, good.substr(0, good.size() / 2), "malformed signature file"},
        {file, overLong, "signature file too large"},
        {file, nonBase64, "malformed signature file"},
        {flipped, good, "file does not match its signature", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refusal ? c.refusal : "accepted");
        ClearSites();
        ScopedWorkDir dir;
        MakeDirs(L"sys");
        ASSERT_TRUE(PutSiteFile(L"mirror/sys/Game.exe", c.mirrorFile) &&
                    (!c.mirrorSig || PutSiteFile(L"mirror/sys/Game.exe.minisig", *c.mirrorSig)) &&
                    (!c.serverHasGood || (PutSiteFile(L"server/sys/Game.exe", file) &&
                                          PutSiteFile(L"server/sys/Game.exe.minisig", good))));
        LogCapture log;
        RequestLog requests;
        const bool placed = DownloadFromMirrors(L"sys\\Game.exe");
        EXPECT_EQ(placed, !c.refusal || c.serverHasGood);
        EXPECT_EQ(ReadFileBytes(L"sys\\Game.exe"), placed ? file : "");
        EXPECT_FALSE(PathExists(L"sys\\Game.exe.part") || PathExists(L"sys\\Game.exe.part.info"));
        const std::string line = "[ERROR] Signature check failed: sys\\Game.exe (";
        EXPECT_EQ(CountOf(log.Text(), line + (c.refusal ? c.refusal : "")), c.refusal ? 1u : 0u)
            << log.Text();
        // A refusal is the server's failure: no retry there.
        std::string asked;
        for (const std::string& target : requests.Column(2))
            asked += target + " ";
        const std::string m = GamePath(UPDATER_MIRROR_BASE_URL),
                          s = GamePath(UPDATER_SERVER_BASE_URL);
        EXPECT_EQ(asked, m + " " + m + ".minisig " + (c.refusal ? s + " " : "") +
                             (c.serverHasGood ? s + ".minisig " : ""));
    }
}

// Refused by its signature on both servers: the player is sent to support.
TEST(Signature, ARefusedSignatureIsNamedInTheFailureBox) {
    std::string flipped = Fixture(L"Game.exe");
    flipped[flipped.size() / 2] ^= 0x01;
    ClearSites();
    ScopedWorkDir dir;
    for (const wchar_t* site : {L"mirror", L"server"})
        ASSERT_TRUE(
            PutSiteFile(site + std::wstring(L"/Game.exe"), flipped) &&
            PutSiteFile(site + std::wstring(L"/Game.exe.minisig"), Fixture(L"prehashed.minisig")));
    DownloadFailure why;
    EXPECT_FALSE(DownloadFromMirrors(L"Game.exe", {}, &why));
    EXPECT_EQ(Narrow(DownloadFailureText(L"Game.exe", why)),
              "Failed to download required file: Game.exe\n\nThe file the servers sent is not "
              "signed by the game's publisher. Please tell the game's support.");
}

// A legacy signature has its file read whole: past 64 MiB it is refused before
// anything is read, at 64 MiB the file is still checked.
TEST(Signature, ALegacySignatureOverAHugeFileIsRefused) {
    ScopedWorkDir dir;
    for (const LONGLONG size : {64LL << 20, (64LL << 20) + 1}) {
        HANDLE file =
            CreateFileW(L"Game.exe", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = size;
        EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
        CloseHandle(file);
        std::wstring reason;
        EXPECT_FALSE(VerifyFileSignature(L"Game.exe", Fixture(L"legacy.minisig"), "Game.exe",
                                         kSigningKey, reason));
        EXPECT_EQ(reason, size > 64LL << 20 ? L"legacy signature over a file larger than 64 MiB"
                                            : L"file does not match its signature");
    }
}
