// The pure part of checking a runtime file's signature: minisign's public key
// line and signature file, read strictly. No Windows, no cryptography here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using KeyId = std::array<std::uint8_t, 8>;

struct SigningKey {
    KeyId id{};
    std::array<std::uint8_t, 32> key{}; // Ed25519 public key
};

struct Minisig {
    bool prehashed = false; // "ED": signed is the file's BLAKE2b-512 hash; "Ed": the file
    KeyId keyId{};
    std::array<std::uint8_t, 64> signature{};
    std::string trustedComment;                     // the text after "trusted comment: "
    std::array<std::uint8_t, 64> globalSignature{}; // over signature || trusted comment
};

// The largest signature file taken: four short lines, a long comment or two.
constexpr std::size_t kMaxMinisigBytes = 4096;

// The base64 line of a minisign.pub: "Ed", key id, key; nothing else.
std::optional<SigningKey> ParseSigningKey(std::string_view base64);

// A .minisig's text: an "untrusted comment: " line, the signature line, a
// "trusted comment: " line and the global signature line, each ending in LF
// or CR LF (the last may end the text instead). Anything else, a line longer
// than kMaxMinisigBytes, base64 of any other length or alphabet: nullopt.
std::optional<Minisig> ParseMinisig(std::string_view text);

// Whether a tab-separated field of the trusted comment is "file:" followed by
// fileName, ASCII letter case ignored.
bool TrustedCommentNamesFile(std::string_view comment, std::string_view fileName);
