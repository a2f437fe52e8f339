// Strict readers of minisign's key and signature texts: exact lengths,
// canonical base64, every index checked against its buffer.
#include "net/signature/signature_rules.h"

#include <algorithm>

namespace {

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Decodes padded base64 of exactly `out.size()` bytes; unused bits must be
// zero, so each byte string has one text only.
template <std::size_t N>
bool DecodeBase64(std::string_view text, std::array<std::uint8_t, N>& out) {
    constexpr std::size_t kChars = (N + 2) / 3 * 4;
    constexpr std::size_t kPad = (3 - N % 3) % 3;
    if (text.size() != kChars)
        return false;
    for (std::size_t i = 0; i < kPad; ++i)
        if (text[kChars - 1 - i] != '=')
            return false;
    std::uint32_t bits = 0;
    int held = 0;
    std::size_t written = 0;
    for (std::size_t i = 0; i < kChars - kPad; ++i) {
        const int value = Base64Value(text[i]);
        if (value < 0)
            return false;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            if (written == N)
                return false;
            out[written++] = static_cast<std::uint8_t>(bits >> held);
            bits &= (1u << held) - 1;
        }
    }
    return written == N && bits == 0;
}

// The next line of text from pos, without its LF or CR LF; false when there
// is none or it is too long. A bare CR inside a line is refused.
bool NextLine(std::string_view text, std::size_t& pos, std::string_view& line) {
    if (pos >= text.size())
        return false;
    const std::size_t end = text.find('\n', pos);
    std::size_t stop = end == std::string_view::npos ? text.size() : end;
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (stop > pos && text[stop - 1] == '\r')
        --stop;
    line = text.substr(pos, stop - pos);
    if (line.size() > kMaxMinisigBytes || line.find('\r') != std::string_view::npos)
        return false;
    pos = next;
    return true;
}

bool TakePrefix(std::string_view& line, std::string_view prefix) {
    if (line.substr(0, prefix.size()) != prefix)
        return false;
    line.remove_prefix(prefix.size());
    return true;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

} // namespace

std::optional<SigningKey> ParseSigningKey(std::string_view base64) {
    std::array<std::uint8_t, 42> raw;
    if (!DecodeBase64(base64, raw) || raw[0] != 'E' || raw[1] != 'd')
        return std::nullopt;
    SigningKey key;
    std::copy(raw.begin() + 2, raw.begin() + 10, key.id.begin());
    std::copy(raw.begin() + 10, raw.end(), key.key.begin());
    return key;
}

std::optional<Minisig> ParseMinisig(std::string_view text) {
    if (text.size() > kMaxMinisigBytes)
        return std::nullopt;
    std::size_t pos = 0;
    std::string_view untrusted, signature, trusted, global;
    if (!NextLine(text, pos, untrusted) || !TakePrefix(untrusted, "untrusted comment: ") ||
        !NextLine(text, pos, signature) || !NextLine(text, pos, trusted) ||
        !TakePrefix(trusted, "trusted comment: ") || !NextLine(text, pos, global) ||
        pos != text.size())
        return std::nullopt;
    std::array<std::uint8_t, 74> raw;
    Minisig sig;
    if (!DecodeBase64(signature, raw) || raw[0] != 'E' || (raw[1] != 'D' && raw[1] != 'd') ||
        !DecodeBase64(global, sig.globalSignature))
        return std::nullopt;
    sig.prehashed = raw[1] == 'D';
    std::copy(raw.begin() + 2, raw.begin() + 10, sig.keyId.begin());
    std::copy(raw.begin() + 10, raw.end(), sig.signature.begin());
    sig.trustedComment = std::string(trusted);
    return sig;
}

bool TrustedCommentNamesFile(std::string_view comment, std::string_view fileName) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = comment.find('\t', start);
        std::string_view field = comment.substr(
            start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        if (TakePrefix(field, "file:") && SameIgnoringCase(field, fileName))
            return true;
        if (tab == std::string_view::npos)
            return false;
        start = tab + 1;
    }
}
