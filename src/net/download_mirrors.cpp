// The two-server fallback for one file of the installation.
#include "net/net.h"
#include "log/log.h"

#include <algorithm>

namespace {

const wchar_t kMirrorBaseUrl[] = UPDATER_MIRROR_BASE_URL;
const wchar_t kServerBaseUrl[] = UPDATER_SERVER_BASE_URL;

// The URL of a relative path under a base URL: backslashes become slashes and
// nothing else changes (no encoding, no trimming).
std::wstring DownloadUrl(const std::wstring& baseUrl, const std::wstring& relativePath) {
    std::wstring tail = relativePath;
    std::replace(tail.begin(), tail.end(), L'\\', L'/');
    return baseUrl + tail;
}

} // namespace

bool DownloadFromMirrors(const std::wstring& relativePath, const DownloadProgress& progress) {
    Logger::Write(L"INFO", L"Downloading from GitHub: " + relativePath);
    if (DownloadFile(DownloadUrl(kMirrorBaseUrl, relativePath), relativePath, progress))
        return true;

    Logger::Write(L"INFO", L"GitHub failed, trying main server: " + relativePath);
    if (DownloadFile(DownloadUrl(kServerBaseUrl, relativePath), relativePath, progress))
        return true;

    Logger::Write(L"ERROR", L"Failed to download: " + relativePath);
    return false;
}
