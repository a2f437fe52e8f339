// The download's hash, fed from the body callback.
#include "net/signature/arrived_hash.h"
#include "net/signature/signing_key.h"

#include <vector>

namespace {

const std::size_t kChunkBytes = 1 << 16;

} // namespace

void ArrivedHash::Start() {
    started_ = kSigningKey[0] != '\0' && sodium_init() >= 0 &&
               crypto_generichash_init(&state_, nullptr, 0, crypto_generichash_BYTES_MAX) == 0;
}

bool HashFileStart(crypto_generichash_state& state, FILE* file, std::uint64_t bytes) {
    if (_fseeki64(file, 0, SEEK_SET) != 0)
        return false;
    std::vector<unsigned char> chunk(kChunkBytes);
    while (bytes > 0) {
        const std::size_t want =
            bytes < chunk.size() ? static_cast<std::size_t>(bytes) : chunk.size();
        if (fread(chunk.data(), 1, want, file) != want)
            return false;
        crypto_generichash_update(&state, chunk.data(), want);
        bytes -= want;
    }
    return true;
}

bool ArrivedHash::AddKept(FILE* file, std::uint64_t bytes) {
    return !started_ || (HashFileStart(state_, file, bytes) && _fseeki64(file, 0, SEEK_END) == 0);
}

void ArrivedHash::Add(const char* data, std::size_t size) {
    if (started_)
        crypto_generichash_update(&state_, reinterpret_cast<const unsigned char*>(data), size);
}

bool ArrivedHash::Finish(unsigned char (&hash)[crypto_generichash_BYTES_MAX]) {
    const bool ok = started_ && crypto_generichash_final(&state_, hash, sizeof hash) == 0;
    started_ = false;
    return ok;
}
