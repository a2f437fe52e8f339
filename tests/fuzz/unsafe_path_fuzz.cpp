// Any UTF-16 text as a patch entry, cleaned or not, through the unsafe-path
// check: whatever it lets through stays inside the installation.
#include "fuzz/fuzz_input.h"
#include "fuzz/safe_path.h"
#include "patch/patch_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput input{data, size};
    const std::wstring text = input.Utf16();
    const std::wstring path = CleanPatchEntry(text);
    CheckCleaned(path);
    for (const std::wstring& candidate : {text, path})
        if (!IsUnsafePatchPath(candidate))
            CheckSafe(candidate);
    return 0;
}
