// libFuzzer target: the signature file reader must take any bytes safely.
#include "net/signature_rules.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto sig = ParseMinisig(text))
        TrustedCommentNamesFile(sig->trustedComment, "Game.exe");
    ParseSigningKey(text);
    return 0;
}
