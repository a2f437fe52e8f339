// Any base URL and relative path through the URL of a download.
#include "fuzz/fuzz_input.h"
#include "net/download_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput input{data, size};
    const std::wstring base = input.Utf16(input.Byte());
    const std::wstring tail = input.Utf16();
    // The base stays as it is, and the tail keeps every character but a
    // backslash, which becomes a slash: no encoding, no trimming.
    const std::wstring url = DownloadUrl(base, tail);
    FUZZ_CHECK(url.size() == base.size() + tail.size());
    FUZZ_CHECK(url.compare(0, base.size(), base) == 0);
    for (std::size_t i = 0; i < tail.size(); ++i)
        FUZZ_CHECK(url[base.size() + i] == (tail[i] == L'\\' ? L'/' : tail[i]));
    return 0;
}
