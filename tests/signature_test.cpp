// With a signing key built in, a runtime file is placed only with a good
// minisign signature from the same server; anything else is that server's
// failure. The signatures are made by minisign at test time
// (make_test_signatures.sh) with the key this program links.
#include "net/net.h"
#include "net/signing_key.h"
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <optional>

// This program's key, in place of the build's (none in the test build).
const char kSigningKey[] = TEST_SIGNING_KEY;

namespace {

std::string Fixture(const wchar_t* name) {
    return test::ReadFileBytes(test::BuildDir() + L"\\test-signatures\\" + name);
}

size_t Count(const std::vector<std::string>& lines, const std::string& part) {
    size_t n = 0;
    for (const std::string& line : lines)
        n += line.find(part) != std::string::npos;
    return n;
}

} // namespace

TEST(Signature, OnlyAGoodSignatureFromTheSameServerPlacesTheFile) {
    const std::string file = Fixture(L"Game.exe");
    const std::string good = Fixture(L"prehashed.minisig");
    ASSERT_GT(file.size(), 1000u);
    ASSERT_FALSE(good.empty());
    std::string flipped = file;
    flipped[flipped.size() / 2] ^= 0x01;
    std::string nonBase64 = good;
    nonBase64[nonBase64.find('\n') + 10] = '*';
    const std::string overLong =
        "untrusted comment: " + std::string(5000, 'x') + "\n" + good.substr(good.find('\n') + 1);
    using Sig = std::optional<std::string>;
    struct Case {
        const char* name;
        std::string mirrorFile;
        Sig mirrorSig;       // nullopt: no .minisig on the mirror (404)
        Sig serverSig;       // nullopt: nothing on the server; else the good file and this
        const char* refusal; // the mirror's reason, or nullptr when it is accepted
    } cases[] = {
        {"prehashed ED", file, good, {}, nullptr},
        {"legacy Ed", file, Fixture(L"legacy.minisig"), {}, nullptr},
        {"one flipped byte", flipped, good, {}, "file does not match its signature"},
        {"another key", file, Fixture(L"other-key.minisig"), {}, "signed with another key"},
        {"another file's name",
         file,
         Fixture(L"other-name.minisig"),
         {},
         "signature is for another file"},
        {"comment edited",
         file,
         Fixture(L"edited-comment.minisig"),
         {},
         "trusted comment not signed"},
        {"no .minisig", file, {}, {}, "no signature (HTTP code 404"},
        {"truncated", file, good.substr(0, good.size() / 2), {}, "malformed signature file"},
        {"over-long", file, overLong, {}, "signature file too large"},
        {"not base64", file, nonBase64, {}, "malformed signature file"},
        {"bad on the mirror, good on the server", flipped, good, good,
         "file does not match its signature"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ClearSites();
        test::ScopedWorkDir dir;
        test::MakeDirs(dir.path() + L"\\sys");
        ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"sys/Game.exe", c.mirrorFile));
        if (c.mirrorSig) {
            ASSERT_TRUE(
                test::PutSiteFile(test::Site::Mirror, L"sys/Game.exe.minisig", *c.mirrorSig));
        }
        if (c.serverSig) {
            ASSERT_TRUE(test::PutSiteFile(test::Site::Server, L"sys/Game.exe", file));
            ASSERT_TRUE(
                test::PutSiteFile(test::Site::Server, L"sys/Game.exe.minisig", *c.serverSig));
        }
        test::LogCapture log;
        test::RequestLog requests;
        const bool placed = DownloadFromMirrors(L"sys\\Game.exe");

        EXPECT_EQ(placed, !c.refusal || c.serverSig.has_value());
        EXPECT_EQ(test::ReadFileBytes(L"sys\\Game.exe"), placed ? file : "");
        EXPECT_FALSE(test::PathExists(L"sys\\Game.exe.part"));
        EXPECT_FALSE(test::PathExists(L"sys\\Game.exe.part.info"));
        const std::string text = log.Text();
        const std::string line = "[ERROR] Signature check failed: sys\\Game.exe (";
        EXPECT_EQ(text.find(line + (c.refusal ? c.refusal : "")) != std::string::npos,
                  c.refusal != nullptr)
            << text;
        // A refusal is the server's failure: no retry there.
        const std::vector<std::string> lines = requests.Lines();
        EXPECT_EQ(Count(lines, "/main/sys/Game.exe\t"), 1u);
        EXPECT_EQ(Count(lines, "/main/sys/Game.exe.minisig\t"), 1u);
        EXPECT_EQ(Count(lines, "/client/sys/Game.exe\t"), c.refusal ? 1u : 0u);
    }
}
