// The signature check: the .minisig fetched from beside the file, then
// checked with libsodium. An "ED" signature covers the file's BLAKE2b-512
// hash, which the download took as the bytes arrived; an "Ed" one covers
// the file itself, which libsodium verifies in one piece, so such a file (up
// to 64 MiB) is read into memory whole.
#include "net/signature/verify_signature.h"
#include "net/scoped_curl.h"
#include "net/signature/signature_rules.h"
#include "net/signature/signing_key.h"
#include "net/transfer.h"
#include "patch/patch.h"
#include "long_path.h"
#include "scoped_win.h"

#include <sodium.h>

#include <io.h>
#include <share.h>

#include <cstdio>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

// The file's prehash, or false when it cannot be read.
bool HashFile(FILE* file, unsigned char (&hash)[crypto_generichash_BYTES_MAX]) {
    crypto_generichash_state state;
    const long long size = _filelengthi64(_fileno(file));
    return size >= 0 && crypto_generichash_init(&state, nullptr, 0, sizeof hash) == 0 &&
           HashFileStart(state, file, static_cast<std::uint64_t>(size)) &&
           crypto_generichash_final(&state, hash, sizeof hash) == 0;
}

// A legacy signature covers the file itself, which libsodium takes in one
// piece: a larger file is refused before anything is allocated for it.
// (Publishers sign with minisign's default, prehashed form.)
const long long kMaxLegacySignedBytes = 64LL << 20;

// Whether the file's contents verify under sig; false with the reason.
bool ContentsVerify(FILE* file, const Minisig& sig, const unsigned char* key,
                    const unsigned char* prehash, std::wstring& reason) {
    reason = L"file does not match its signature";
    if (sig.prehashed) {
        unsigned char hash[crypto_generichash_BYTES_MAX];
        if (!prehash && !HashFile(file, hash))
            return false;
        return crypto_sign_verify_detached(sig.signature.data(), prehash ? prehash : hash,
                                           sizeof hash, key) == 0;
    }
    const long long size = _filelengthi64(_fileno(file));
    if (size < 0 || size > kMaxLegacySignedBytes) {
        reason = L"legacy signature over a file larger than 64 MiB";
        return false;
    }
    const size_t length = static_cast<size_t>(size);
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[length]);
    if (!bytes) {
        reason = L"no memory for the legacy signature's file";
        return false;
    }
    return fread(bytes.get(), 1, length, file) == length &&
           crypto_sign_verify_detached(sig.signature.data(), bytes.get(), length, key) == 0;
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

bool SignatureHolds(const PartFile& part, const std::string& url, const DownloadProgress& progress,
                    ArrivedHash& arrived) {
    if (kSigningKey[0] == '\0')
        return true;
    std::string sigText;
    std::wstring reason;
    const long long size = part.Size();
    // The trusted comment names the file without its folders.
    const std::string fileName =
        ToUtf8(SplitAtLastSeparator(part.target(), Separators::Either).name);
    unsigned char hash[crypto_generichash_BYTES_MAX];
    const bool hashed = arrived.Finish(hash);
    if (FetchSignature(url + ".minisig", progress, size > 0 ? static_cast<std::uint64_t>(size) : 0,
                       sigText, reason) &&
        VerifyFileSignature(part.path(), sigText, fileName, kSigningKey, reason,
                            hashed ? hash : nullptr))
        return true;
    Logger::Write(L"ERROR", L"Signature check failed: " + part.target() + L" (" + reason + L")");
    return false;
}

bool VerifyFileSignature(const std::wstring& path, const std::string& sigText,
                         const std::string& fileName, const char* key, std::wstring& reason,
                         const unsigned char* prehash) {
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
    if (sig->prehashed && prehash)
        return ContentsVerify(nullptr, *sig, publicKey->key.data(), prehash, reason);
    FILE* opened = _wfsopen(FileSystemPath(path).c_str(), L"rb", _SH_DENYWR);
    if (!opened) {
        reason = L"file cannot be read";
        return false;
    }
    ScopedFile file(opened);
    return ContentsVerify(file.get(), *sig, publicKey->key.data(), prehash, reason);
}
