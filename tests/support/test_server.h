// The local HTTPS server that tools/https_server.py runs for the tests listed
// in HTTPS_SERVER_TESTS (tests/CMakeLists.txt); see that script for the fault
// paths and the formats. Only one such test executable runs at a time.
//
// - Listeners: "main" (the port of the baked base URLs, a certificate for
//   localhost from the test CA in UPDATER_CA_FILE), "selfsigned", "wrongname",
//   "http" (plain), "refused" (nobody listens); ports in <build>\test-server\ports.txt.
// - Sites: <build>\https-root\mirror\ answers under UPDATER_MIRROR_BASE_URL,
//   <build>\https-root\server\ under UPDATER_SERVER_BASE_URL; a missing file is a 404.
// - Request log: <build>\test-server\requests.log, one line per request.
#pragma once

#include <string>
#include <vector>

namespace test {

enum class Site { Mirror, Server };

// "https://localhost:<port>" (http:// for "http") followed by path, e.g. L"/fault/status/404".
std::wstring ServerUrl(const std::string& listener, const std::wstring& path);

// Removes every file from both sites.
void ClearSites();
// Publishes bytes at the URL tail (slashes or backslashes) of a site. options,
// when given, go to the "<name>.serve" file beside it: "status=500",
// "chunk=1024&delay=0.05".
bool PutSiteFile(Site site, const std::wstring& tail, const std::string& bytes,
                 const std::string& options = "");

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
