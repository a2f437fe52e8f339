// Finding and feeding the local HTTPS test server.
#include "support/test_server.h"
#include "support/test_support.h"

#include <sstream>

namespace test {

namespace {

std::wstring StatePath(const wchar_t* name) {
    return BuildDir() + L"\\test-server\\" + name;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

// The port of a listener; 0 when the server is not running.
int ServerPort(const std::string& listener) {
    for (const std::string& line : Split(ReadFileBytes(StatePath(L"ports.txt")), '\n'))
        if (line.compare(0, listener.size() + 1, listener + "=") == 0)
            return std::stoi(line.substr(listener.size() + 1));
    return 0;
}

std::wstring SiteRoot(Site site) {
    return BuildDir() + L"\\https-root\\" + (site == Site::Mirror ? L"mirror" : L"server");
}

} // namespace

std::wstring ServerUrl(const std::string& listener, const std::wstring& path) {
    std::wstring scheme = listener == "http" ? L"http" : L"https";
    return scheme + L"://localhost:" + std::to_wstring(ServerPort(listener)) + path;
}

void ClearSites() {
    for (Site site : {Site::Mirror, Site::Server}) {
        RemoveTree(SiteRoot(site));
        MakeDirs(SiteRoot(site));
    }
}

bool PutSiteFile(Site site, const std::wstring& tail, const std::string& bytes) {
    return WriteFileBytes(SiteRoot(site) + L"\\" + tail, bytes);
}

RequestLog::RequestLog() : start_(ReadFileBytes(StatePath(L"requests.log")).size()) {}

std::vector<std::string> RequestLog::Lines() const {
    std::string all = ReadFileBytes(StatePath(L"requests.log"));
    return all.size() < start_ ? std::vector<std::string>() : Split(all.substr(start_), '\n');
}

} // namespace test
