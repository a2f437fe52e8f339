// The local HTTPS server (tools/https_server.py, which documents the fault
// paths, the listeners and the formats) of the tests in HTTPS_SERVER_TESTS,
// one such test program at a time.
#pragma once

#include <string>
#include <vector>

namespace test {

// The mirror site answers under UPDATER_MIRROR_BASE_URL, the server site under
// UPDATER_SERVER_BASE_URL; a missing file is a 404.
enum class Site { Mirror, Server };
void ClearSites();
// Publishes bytes at the URL tail (slashes or backslashes) of a site.
bool PutSiteFile(Site site, const std::wstring& tail, const std::string& bytes);

// "https://localhost:<port>" (http:// for "http") of a listener, then path.
std::wstring ServerUrl(const std::string& listener, const std::wstring& path);

// The requests the server logged after the capture was made.
class RequestLog {
  public:
    RequestLog();
    // "listener TAB method TAB target TAB user-agent" each, in order.
    std::vector<std::string> Lines() const;

  private:
    size_t start_;
};

} // namespace test
