// Times the signature check of one file as the download does it:
//   signature_check.exe FILE MINISIG NAME PUBLIC_KEY
// prints the milliseconds VerifyFileSignature took and its verdict.
#include "net/signature/verify_signature.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 5)
        return 2;
    std::ifstream in(argv[2], std::ios::binary);
    const std::string sig((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    char name[MAX_PATH], key[128];
    WideCharToMultiByte(CP_UTF8, 0, argv[3], -1, name, sizeof name, nullptr, nullptr);
    WideCharToMultiByte(CP_UTF8, 0, argv[4], -1, key, sizeof key, nullptr, nullptr);
    std::wstring reason;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const bool ok = VerifyFileSignature(argv[1], sig, name, key, reason);
    QueryPerformanceCounter(&end);
    std::printf("%.0f ms %s\n", 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart,
                ok ? "verified" : "refused");
    return ok ? 0 : 1;
}
