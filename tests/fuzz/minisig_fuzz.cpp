// Any bytes as a .minisig file, as a key line, and as a trusted comment.
#include "fuzz/fuzz_input.h"
#include "net/signature/signature_rules.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Only the four-line form is taken: a signature file never holds more
    // than its cap, and its trusted comment is a part of it without line ends.
    if (auto sig = ParseMinisig(text)) {
        FUZZ_CHECK(size <= kMaxMinisigBytes);
        FUZZ_CHECK(text.find(sig->trustedComment) != std::string_view::npos);
        FUZZ_CHECK(sig->trustedComment.find_first_of("\r\n") == std::string::npos);
        // A comment names a file only through a whole "file:" field.
        if (TrustedCommentNamesFile(sig->trustedComment, "Game.exe"))
            FUZZ_CHECK(sig->trustedComment.size() >= 13);
    }
    // A key line is exactly 56 base64 characters (42 bytes), nothing around.
    if (ParseSigningKey(text))
        FUZZ_CHECK(size == 56);
    if (TrustedCommentNamesFile(text, "a.dll"))
        FUZZ_CHECK(size >= 10);
    return 0;
}
