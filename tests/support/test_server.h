// The local HTTPS server that tools/https_server.py runs for the tests listed
// in HTTPS_SERVER_TESTS (tests/CMakeLists.txt); see that script for the fault
// paths, the listeners ("main", "selfsigned", "wrongname", "http") and the
// formats. Only one such test executable runs at a time.
#pragma once

#include <string>
#include <vector>

namespace test {

// <build>\https-root\mirror\ answers under UPDATER_MIRROR_BASE_URL,
// <build>\https-root\server\ under UPDATER_SERVER_BASE_URL; a missing file is a 404.
enum class Site { Mirror, Server };

// "https://localhost:<port>" (http:// for "http") followed by path, e.g. L"/fault/status/404".
std::wstring ServerUrl(const std::string& listener, const std::wstring& path);

// Removes every file from both sites.
void ClearSites();
// Publishes bytes at the URL tail (slashes or backslashes) of a site.
bool PutSiteFile(Site site, const std::wstring& tail, const std::string& bytes);

// The requests the server logged after the capture was made.
class RequestLog {
  public:
    RequestLog();
    // "listener TAB method TAB target TAB user-agent" each, in order; the
    // target as received, %xx and raw bytes alike.
    std::vector<std::string> Lines() const;
    std::vector<std::string> Targets() const;

  private:
    size_t start_;
};

} // namespace test
