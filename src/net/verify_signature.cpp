// The signature check: the .minisig fetched from beside the file, then
// checked with libsodium. An "ED" signature covers the file's BLAKE2b-512
// hash, which is taken while the file streams from disk; an "Ed" one covers
// the file itself, which libsodium verifies in one piece, so such a file is
// read into memory whole.
#include "net/verify_signature.h"
#include "net/scoped_curl.h"
#include "net/signature_rules.h"
#include "net/signing_key.h"
#include "net/transfer.h"
#include "patch/patch.h"
#include "scoped_win.h"

#include <sodium.h>

#include <share.h>

#include <cstdio>
#include <utility>
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

struct SignatureBody {
    CURL* curl = nullptr;
    std::string text;
    ServerCheck server;
};

// Collects a signature file's body, refusing one larger than a signature; an
// error answer's body is dropped.
size_t OnSignatureBody(char* data, size_t size, size_t count, void* user) {
    SignatureBody& body = *static_cast<SignatureBody*>(user);
    const size_t bytes = size * count;
    if (ResponseStatus(body.curl) != 200)
        return bytes;
    if (bytes > kMaxMinisigBytes + 1 - body.text.size())
        return 0; // ends the transfer
    body.text.append(data, bytes);
    return bytes;
}

// Fetches the signature into memory, telling the caller the file's own
// figures meanwhile. False with the reason.
bool FetchSignature(const std::string& url, const DownloadProgress& progress, std::uint64_t size,
                    std::string& text, std::wstring& reason) {
    ScopedCurl curl;
    SignatureBody body;
    body.curl = curl.get();
    if (!curl.get() || !SetTransferOptions(curl.get(), url.c_str(), body.server) ||
        !SetOption(curl.get(), CURLOPT_WRITEFUNCTION, OnSignatureBody, L"WRITEFUNCTION") ||
        !SetOption(curl.get(), CURLOPT_WRITEDATA, &body, L"WRITEDATA")) {
        reason = L"signature not requested";
        return false;
    }
    const CURLcode result = Perform(curl.get(), [&] {
        if (progress)
            progress(size, size);
    });
    const long status = ResponseStatus(curl.get());
    if (result == CURLE_WRITE_ERROR) {
        reason = L"signature file too large";
        return false;
    }
    if (result != CURLE_OK || status != 200) {
        reason = L"no signature (HTTP code " + std::to_wstring(status) + L", " +
                 TransferError(result, body.server) + L")";
        return false;
    }
    text = std::move(body.text);
    return true;
}

} // namespace

bool SignatureHolds(const PartFile& part, const std::string& url,
                    const DownloadProgress& progress) {
    if (kSigningKey[0] == '\0')
        return true;
    std::string sigText;
    std::wstring reason;
    const long long size = part.Size();
    // The trusted comment names the file without its folders.
    const std::string fileName =
        ToUtf8(SplitAtLastSeparator(part.target(), Separators::Either).name);
    if (FetchSignature(url + ".minisig", progress, size > 0 ? static_cast<std::uint64_t>(size) : 0,
                       sigText, reason) &&
        VerifyFileSignature(part.path(), sigText, fileName, kSigningKey, reason))
        return true;
    Logger::Write(L"ERROR", L"Signature check failed: " + part.target() + L" (" + reason + L")");
    return false;
}

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
