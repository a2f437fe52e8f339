// Any base URL and relative path through the URL of a download, its partial
// file and the success rule (the status comes from the server).
#include "fuzz/fuzz_input.h"
#include "net/download_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput input{data, size};
    const std::wstring base = input.Utf16(input.Byte());
    const int result = input.Byte() % 4;
    const long status = static_cast<long>(input.Byte()) | static_cast<long>(input.Byte()) << 8;
    const std::wstring tail = input.Utf16();

    // The base stays as it is, and the tail keeps every character but a
    // backslash, which becomes a slash.
    const std::wstring url = DownloadUrl(base, tail);
    FUZZ_CHECK(url.size() == base.size() + tail.size());
    FUZZ_CHECK(url.compare(0, base.size(), base) == 0);
    for (std::size_t i = 0; i < tail.size(); ++i)
        FUZZ_CHECK(url[base.size() + i] == (tail[i] == L'\\' ? L'/' : tail[i]));

    FUZZ_CHECK(PartialPath(tail) == tail + L".part");
    for (bool closed : {false, true})
        FUZZ_CHECK(DownloadSucceeded(result, status, closed) ==
                   (result == 0 && status == 200 && closed));
    return 0;
}
