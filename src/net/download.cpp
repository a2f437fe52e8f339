// One HTTPS download into one file.
#include "net/net.h"
#include "net/download_rules.h"
#include "log/log.h"
#include "scoped_win.h"

#include <windows.h>

#include <curl/curl.h>

#include <share.h>

namespace {

const char kUserAgent[] = "qzr#updater";
const char kCaFile[] = UPDATER_CA_FILE;
const long kConnectTimeoutSeconds = 30;
const long kStallSeconds = UPDATER_STALL_SECONDS;
const long kMaxRedirects = 30;
const size_t kWriteBufferBytes = 1 << 20;

std::string ToUtf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], n, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(n) - 1);
    return narrow;
}

void SetOptions(CURL* curl, const std::string& url, FILE* stream) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteDownloadData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, stream);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    // The launcher runs what arrives here, so only a server that proves who
    // it is may supply it, and never over plain http, redirects included.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    // Players behind networks that block revocation servers must still get in.
    curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    if (kCaFile[0] != '\0')
        curl_easy_setopt(curl, CURLOPT_CAINFO, kCaFile);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    // Without limits a dead server or a redirect loop would hang the launcher.
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
}

// Puts the finished download in place; a crash before this leaves at most a
// stray .part file, never a truncated target.
bool MoveIntoPlace(const std::wstring& partial, const std::wstring& path) {
    if (MoveFileExW(partial.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DWORD error = GetLastError();
    Logger::Write(L"ERROR", L"Failed to move download into place: " + path + L" (error " +
                                std::to_wstring(error) + L")");
    return false;
}

} // namespace

std::size_t WriteDownloadData(char* data, std::size_t size, std::size_t count, void* stream) {
    return fwrite(data, size, count, static_cast<FILE*>(stream));
}

bool DownloadFile(const std::wstring& url, const std::wstring& path) {
    std::string narrowUrl = ToUtf8(url);
    Logger::Write(L"INFO", L"Downloading from: " + url);
    Logger::Write(L"INFO", L"Saving to: " + path);

    ScopedCurl curl;
    if (!curl.get()) {
        Logger::Write(L"ERROR", L"Failed to initialize CURL");
        return false;
    }

    const std::wstring partial = PartialPath(path);
    // Not shared: no other copy may write into it or move it in half-written.
    FILE* opened = _wfsopen(partial.c_str(), L"wb", _SH_DENYRW);
    if (!opened) {
        Logger::Write(L"ERROR", L"Failed to open file for writing: " + path);
        return false;
    }
    ScopedFile stream(opened);
    // libcurl hands over at most 16 KiB at a time; the CRT's own 4 KiB buffer
    // would make a system call of each. A failed setvbuf keeps the default.
    setvbuf(stream.get(), nullptr, _IOFBF, kWriteBufferBytes);

    SetOptions(curl.get(), narrowUrl, stream.get());
    CURLcode result = curl_easy_perform(curl.get());
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    // A failed close means the last buffered bytes never reached the disk.
    bool closed = stream.close();
    curl.reset();

    if (DownloadSucceeded(result, status, closed)) {
        if (MoveIntoPlace(partial, path)) {
            Logger::Write(L"INFO", L"Download successful");
            return true;
        }
    } else {
        Logger::Write(L"ERROR", L"Download failed with HTTP code: " + std::to_wstring(status));
    }
    DeleteFileW(partial.c_str());
    return false;
}
