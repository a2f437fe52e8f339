// The readers of minisign's key line and signature file, on good texts made
// by minisign and on every way such a text can be broken.
#include "net/signature_rules.h"

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

std::string Sig(const std::string& sig, const std::string& end = "\n") {
    return kUntrusted + end + sig + end + kTrusted + end + kGlobal + end;
}

} // namespace

TEST(SignatureRules, ParseMinisigTakesOnlyTheExactForm) {
    std::string nonCanonical = kGlobal;
    nonCanonical[nonCanonical.size() - 3] = 'B'; // "Q==" -> "B==": stray low bits
    struct Case {
        const char* name;
        std::string text;
        int algorithm; // 'D' prehashed, 'd' legacy, 0 refused
    } cases[] = {
        {"prehashed", Sig(kPrehashed), 'D'},
        {"legacy", Sig(kLegacy), 'd'},
        {"CR LF", Sig(kPrehashed, "\r\n"), 'D'},
        {"no final line end", Sig(kPrehashed).substr(0, Sig(kPrehashed).size() - 1), 'D'},
        {"empty", "", 0},
        {"three lines", kUntrusted + "\n" + kPrehashed + "\n" + kTrusted + "\n", 0},
        {"a fifth line", Sig(kPrehashed) + "\n", 0},
        {"no untrusted prefix", Sig(kPrehashed).substr(2), 0},
        {"trusted prefix misspelt",
         kUntrusted + "\n" + kPrehashed + "\ntrusted_comment: x\n" + kGlobal + "\n", 0},
        {"signature a character short", Sig(kPrehashed.substr(1)), 0},
        {"signature a character long", Sig("A" + kPrehashed), 0},
        {"signature not base64", Sig("*" + kPrehashed.substr(1)), 0},
        {"padding missing", Sig(kPrehashed.substr(0, 99) + "A"), 0},
        {"unknown algorithm", Sig("RU" + std::string("V") + kPrehashed.substr(3)), 0},
        {"a NUL inside", Sig(kPrehashed.substr(0, 50) + '\0' + kPrehashed.substr(51)), 0},
        {"a bare CR inside", Sig(kPrehashed.substr(0, 50) + '\r' + kPrehashed.substr(51)), 0},
        {"global non-canonical",
         kUntrusted + "\n" + kPrehashed + "\n" + kTrusted + "\n" + nonCanonical + "\n", 0},
        {"over-long comment",
         "untrusted comment: " + std::string(kMaxMinisigBytes, 'x') +
             Sig(kPrehashed).substr(kUntrusted.size()),
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto sig = ParseMinisig(c.text);
        ASSERT_EQ(sig.has_value(), c.algorithm != 0);
        if (!sig)
            continue;
        EXPECT_EQ(sig->prehashed, c.algorithm == 'D');
        EXPECT_EQ(sig->trustedComment, "timestamp:1796604281\tfile:Game.exe\thashed");
        EXPECT_EQ(sig->keyId, ParseSigningKey(kKey)->id);
        EXPECT_EQ(sig->globalSignature[0], 0xA4); // "pJC0"
        EXPECT_EQ(sig->globalSignature[63], 0x01);
    }
}

TEST(SignatureRules, KeysAndFileNames) {
    EXPECT_TRUE(ParseSigningKey(kKey));
    EXPECT_FALSE(ParseSigningKey(kKey.substr(1)));
    EXPECT_FALSE(ParseSigningKey(kKey + "A"));
    EXPECT_FALSE(ParseSigningKey("RU" + kKey.substr(2))); // "ED" is no key algorithm
    EXPECT_FALSE(ParseSigningKey(""));

    struct Case {
        const char* comment;
        const char* name;
        bool names;
    } cases[] = {
        {"timestamp:1\tfile:Game.exe\thashed", "Game.exe", true},
        {"file:GAME.exe", "game.EXE", true},
        {"timestamp:1\tfile:Game.exe", "Game.exe", true},
        {"file:Game.exe.old", "Game.exe", false},
        {"myfile:Game.exe", "Game.exe", false},
        {"file: Game.exe", "Game.exe", false},
        {"timestamp:1 file:Game.exe", "Game.exe", false},
        {"", "Game.exe", false},
        {"file:", "Game.exe", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TrustedCommentNamesFile(c.comment, c.name), c.names) << c.comment;
}
