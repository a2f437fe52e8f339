// The cryptographic part of the signature check, all of it libsodium's. An
// "ED" signature covers the file's BLAKE2b-512 hash, which is taken while the
// file streams from disk; an "Ed" one covers the file itself, which libsodium
// verifies in one piece, so such a file is read into memory whole.
#include "net/verify_signature.h"
#include "net/signature_rules.h"
#include "scoped_win.h"

#include <sodium.h>

#include <share.h>

#include <cstdio>
#include <vector>

namespace {

const size_t kChunkBytes = 1 << 16;

// The file's prehash, or false when it cannot be read.
bool HashFile(FILE* file, unsigned char (&hash)[crypto_generichash_BYTES_MAX]) {
    crypto_generichash_state state;
    if (crypto_generichash_init(&state, nullptr, 0, sizeof hash) != 0)
        return false;
    std::vector<unsigned char> chunk(kChunkBytes);
    size_t got;
    while ((got = fread(chunk.data(), 1, chunk.size(), file)) > 0)
        crypto_generichash_update(&state, chunk.data(), got);
    return !ferror(file) && crypto_generichash_final(&state, hash, sizeof hash) == 0;
}

bool ReadWhole(FILE* file, std::vector<unsigned char>& bytes) {
    std::vector<unsigned char> chunk(kChunkBytes);
    size_t got;
    while ((got = fread(chunk.data(), 1, chunk.size(), file)) > 0)
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<long>(got));
    return !ferror(file);
}

} // namespace

bool VerifyFileSignature(const std::wstring& path, const std::string& sigText,
                         const std::string& fileName, const char* key, std::wstring& reason) {
    const auto publicKey = ParseSigningKey(key);
    const auto sig = ParseMinisig(sigText);
    if (!publicKey || sodium_init() < 0) {
        reason = L"no usable key";
        return false;
    }
    if (!sig) {
        reason = L"malformed signature file";
        return false;
    }
    if (sig->keyId != publicKey->id) {
        reason = L"signed with another key";
        return false;
    }
    // The trusted comment first: it is cheap, and names the file.
    std::vector<unsigned char> global(sig->signature.begin(), sig->signature.end());
    global.insert(global.end(), sig->trustedComment.begin(), sig->trustedComment.end());
    if (crypto_sign_verify_detached(sig->globalSignature.data(), global.data(), global.size(),
                                    publicKey->key.data()) != 0) {
        reason = L"trusted comment not signed";
        return false;
    }
    if (!TrustedCommentNamesFile(sig->trustedComment, fileName)) {
        reason = L"signature is for another file";
        return false;
    }
    FILE* opened = _wfsopen(path.c_str(), L"rb", _SH_DENYWR);
    if (!opened) {
        reason = L"file cannot be read";
        return false;
    }
    ScopedFile file(opened);
    int verified = -1;
    if (sig->prehashed) {
        unsigned char hash[crypto_generichash_BYTES_MAX];
        if (HashFile(file.get(), hash))
            verified = crypto_sign_verify_detached(sig->signature.data(), hash, sizeof hash,
                                                   publicKey->key.data());
    } else {
        std::vector<unsigned char> bytes;
        if (ReadWhole(file.get(), bytes))
            verified = crypto_sign_verify_detached(sig->signature.data(), bytes.data(),
                                                   bytes.size(), publicKey->key.data());
    }
    if (verified != 0) {
        reason = L"file does not match its signature";
        return false;
    }
    return true;
}
