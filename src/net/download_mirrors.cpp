// The two-server fallback for one file of the installation.
#include "net/net.h"
#include "net/download_rules.h"
#include "log/log.h"

namespace {

const wchar_t kMirrorBaseUrl[] = UPDATER_MIRROR_BASE_URL;
const wchar_t kServerBaseUrl[] = UPDATER_SERVER_BASE_URL;

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
