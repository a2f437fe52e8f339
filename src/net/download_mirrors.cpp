// The two-server fallback for one file of the installation.
#include "net/net.h"
#include "log/log.h"

#include <algorithm>
#include <set>

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

// The servers that sent more than the rules allow: not asked again this run.
std::set<std::wstring>& BarredServers() {
    static std::set<std::wstring> barred;
    return barred;
}

bool FetchFrom(const wchar_t* baseUrl, const std::wstring& relativePath,
               const DownloadProgress& progress, DownloadFailure& failure) {
    if (BarredServers().count(baseUrl) != 0) {
        Logger::Write(L"ERROR", L"Not asked again in this run: " + std::wstring(baseUrl));
        failure = DownloadFailure();
        failure.kind = FetchFailure::ServerFault;
        return false;
    }
    const bool fetched =
        DownloadFile(DownloadUrl(baseUrl, relativePath), relativePath, progress, &failure);
    if (failure.serverBarred)
        BarredServers().insert(baseUrl);
    return fetched;
}

} // namespace

bool DownloadFromMirrors(const std::wstring& relativePath, const DownloadProgress& progress,
                         DownloadFailure* why) {
    DownloadFailure unused;
    DownloadFailure& failure = why ? *why : unused;
    Logger::Write(L"INFO", L"Downloading from GitHub: " + relativePath);
    if (FetchFrom(kMirrorBaseUrl, relativePath, progress, failure))
        return true;

    Logger::Write(L"INFO", L"GitHub failed, trying main server: " + relativePath);
    if (FetchFrom(kServerBaseUrl, relativePath, progress, failure))
        return true;

    Logger::Write(L"ERROR", L"Failed to download: " + relativePath);
    return false;
}
