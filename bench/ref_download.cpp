// Reference for the download benchmark: the same libcurl, server and options
// as the product's DownloadFile, writing to a sink that throws the bytes away,
// or, given a FILE, to FILE.part through the same 1 MiB stream buffer as the
// product's, flushed to the disk and moved over FILE, and then starting the
// game through the shell: the platform work of the product's run. With
// "hash", each chunk is also hashed as it arrives (BLAKE2b-512, the same
// libsodium, the same thread): the platform work of a signed run.
// Usage: ref_download URL CA-FILE STALL-SECONDS [FILE [hash]] (an empty
// CA-FILE: the system's store, as in the product).
// libcurl's headers bring in winsock2.h, which must come before windows.h.
#include <curl/curl.h>
#include <sodium.h>

#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

crypto_generichash_state g_hash;
bool g_hashing = false;

size_t Write(char* data, size_t size, size_t count, void* file) {
    const size_t written = fwrite(data, size, count, static_cast<FILE*>(file));
    if (g_hashing)
        crypto_generichash_update(&g_hash, reinterpret_cast<unsigned char*>(data), written * size);
    return written;
}

// On the disk, then in place, as the product places a download.
bool Place(FILE* file, const std::wstring& part, const std::wstring& target) {
    const bool flushed = fflush(file) == 0 &&
                         FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
    return fclose(file) == 0 && flushed &&
           MoveFileExW(part.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

std::string Utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

// A GUI program like the product, so neither gets a console.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 4)
        return 2;
    const std::string url = Utf8(argv[1]);
    const std::string ca = Utf8(argv[2]);
    const long stallSeconds = std::wcstol(argv[3], nullptr, 10);
    const std::wstring target = argc > 4 ? argv[4] : L"", part = target + L".part";
    FILE* file = argc > 4 ? _wfopen(part.c_str(), L"wb") : nullptr;
    g_hashing = argc > 5 && std::wcscmp(argv[5], L"hash") == 0 && sodium_init() >= 0 &&
                crypto_generichash_init(&g_hash, nullptr, 0, crypto_generichash_BYTES_MAX) == 0;
    LocalFree(argv);
    if (argc > 4 && !file)
        return 4;
    if (file)
        setvbuf(file, nullptr, _IOFBF, 1 << 20);

    CURL* curl = curl_easy_init();
    if (!curl) {
        if (file)
            fclose(file);
        return 3;
    }
    // The options of src/net/transfer.cpp and attempt.cpp.
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 256L << 10);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, file ? Write : Discard);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "qzr#updater");
    curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    if (!ca.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 30L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1024L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
    CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    unsigned char hash[crypto_generichash_BYTES_MAX];
    if (g_hashing)
        crypto_generichash_final(&g_hash, hash, sizeof hash);
    const bool closed = !file || Place(file, part, target);
    if (file)
        ShellExecuteW(nullptr, L"open", L"system64\\Game.exe", L"startgame", nullptr,
                      SW_SHOWNORMAL);
    return result == CURLE_OK && status == 200 && closed ? 0 : 1;
}
