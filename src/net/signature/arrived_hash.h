// The BLAKE2b-512 hash of a download's bytes, taken as they are written, so
// that a prehashed signature is checked without reading the file again.
#pragma once

#include <sodium.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Feeds state with the first `bytes` of file, read from its start; false
// when they cannot be read.
bool HashFileStart(crypto_generichash_state& state, FILE* file, std::uint64_t bytes);

class ArrivedHash {
  public:
    // Starts over at byte 0; only a build that checks signatures hashes.
    void Start();
    // Hashes the first `bytes` of file, the kept part a continued body goes
    // after, and leaves the file at its end; false when they cannot be read.
    bool AddKept(FILE* file, std::uint64_t bytes);
    void Add(const char* data, std::size_t size);
    // The hash of every byte added since Start; false when nothing started it.
    bool Finish(unsigned char (&hash)[crypto_generichash_BYTES_MAX]);

  private:
    crypto_generichash_state state_;
    bool started_ = false;
};
