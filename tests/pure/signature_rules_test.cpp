// The readers of minisign's key line and signature file: the forms minisign
// writes, and the breaks signature_test cannot serve (it has the others).
#include "net/signature/signature_rules.h"

#include <gtest/gtest.h>

namespace {

// Made by minisign 0.11 with a throw-away key; only their form matters here.
const std::string kKey = "RWTI2whz3pRNCM9jVN+vHvf0wG6RYz9cpHpEZrqELX/EJ0Alz0DGJ7Qv";
const std::string kUntrusted = "untrusted comment: signature from minisign secret key";
const std::string kPrehashed = "RUTI2whz3pRNCLfuHXXvK73dsXcK8LDjIteooopC6I7RgQhjO+mZE5Kqfl8FuD46jR"
                               "me70S+aETvo7rhYknwDUYcMuqi7HjBqwE=";
const std::string kLegacy = "RWTI2whz3pRNCCptcJgs6Y5urtyN4rEyokz1v5040wgNX+fkdiDEn8dRWDacUP52lK6"
                            "IzXGCGBnK4sYpY3E1CpE6sTIYiuGJ8QU=";
const std::string kTrusted = "trusted comment: timestamp:1796604281\tfile:Game.exe\thashed";
const std::string kGlobal = "pJC0922nHyEdLa2ZT5WDbB0SouWT/N34KXln1KNm9dUTMJeNzJUdqdNgxkEujtHa2vHl"
                            "efSPfBqiXflsUKujAQ==";

std::string Sig(const std::string& sig, const std::string& end = "\n",
                const std::string& global = kGlobal) {
    return kUntrusted + end + sig + end + kTrusted + end + global + end;
}

} // namespace

TEST(SignatureRules, ParseMinisigTakesOnlyTheExactForm) {
    std::string nonCanonical = kGlobal;
    nonCanonical[nonCanonical.size() - 3] = 'B'; // "Q==" -> "B==": stray low bits
    // Each text and what it is read as: 'D' prehashed, 'd' legacy, 0 refused.
    const std::pair<std::string, int> cases[] = {
        {Sig(kPrehashed), 'D'},
        {Sig(kLegacy), 'd'},
        {Sig(kPrehashed, "\r\n"), 'D'},
        {Sig(kPrehashed).substr(0, Sig(kPrehashed).size() - 1), 'D'}, // no final line end
        {kUntrusted + "\n" + kPrehashed + "\n" + kTrusted + "\n", 0},
        {Sig(kPrehashed) + "\n", 0},
        {Sig(kPrehashed).substr(2), 0},
        {kUntrusted + "\n" + kPrehashed + "\ntrusted_comment: x\n" + kGlobal + "\n", 0},
        {Sig("A" + kPrehashed), 0},
        {Sig(kPrehashed.substr(0, 99) + "A"), 0}, // padding missing
        {Sig("RUV" + kPrehashed.substr(3)), 0},   // unknown algorithm
        {Sig(kPrehashed.substr(0, 50) + '\0' + kPrehashed.substr(51)), 0},
        {Sig(kPrehashed.substr(0, 50) + '\r' + kPrehashed.substr(51)), 0},
        {Sig(kPrehashed, "\n", nonCanonical), 0},
    };
    for (const auto& [text, algorithm] : cases) {
        SCOPED_TRACE(testing::PrintToString(text));
        const auto sig = ParseMinisig(text);
        ASSERT_EQ(sig ? (sig->prehashed ? 'D' : 'd') : 0, algorithm);
        // "pJC0...AQ==": the global signature's first and last bytes.
        EXPECT_TRUE(!sig || (sig->trustedComment == kTrusted.substr(17) &&
                             sig->keyId == ParseSigningKey(kKey)->id &&
                             sig->globalSignature[0] == 0xA4 && sig->globalSignature[63] == 0x01));
    }
}

TEST(SignatureRules, KeysAndFileNames) {
    EXPECT_TRUE(ParseSigningKey(kKey));
    for (const std::string& bad : {kKey.substr(1), kKey + "A", "RU" + kKey.substr(2)}) // "ED"
        EXPECT_FALSE(ParseSigningKey(bad)) << bad;
    for (const char* comment :
         {"timestamp:1\tfile:Game.exe\thashed", "file:GAME.exe", "timestamp:1\tfile:Game.exe"})
        EXPECT_TRUE(TrustedCommentNamesFile(comment, "game.EXE")) << comment;
    for (const char* comment : {"file:Game.exe.old", "myfile:Game.exe", "file: Game.exe",
                                "timestamp:1 file:Game.exe", "", "file:"})
        EXPECT_FALSE(TrustedCommentNamesFile(comment, "Game.exe")) << comment;
}
