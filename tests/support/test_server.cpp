// Finding and feeding the local HTTPS test server.
#include "support/test_server.h"
#include "support/test_support.h"

#include <cctype>
#include <sstream>

namespace test {

namespace {

std::wstring StateDir() {
    return BuildDir() + L"\\test-server";
}

std::wstring RequestLogPath() {
    return StateDir() + L"\\requests.log";
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

} // namespace

int ServerPort(const std::string& listener) {
    for (const std::string& line : Split(ReadFileBytes(StateDir() + L"\\ports.txt"), '\n'))
        if (line.compare(0, listener.size() + 1, listener + "=") == 0)
            return std::stoi(line.substr(listener.size() + 1));
    return 0;
}

std::wstring ServerUrl(const std::string& listener, const std::wstring& path) {
    std::wstring scheme = listener == "http" ? L"http" : L"https";
    return scheme + L"://localhost:" + std::to_wstring(ServerPort(listener)) + path;
}

std::wstring SiteRoot(Site site) {
    return BuildDir() + L"\\https-root\\" + (site == Site::Mirror ? L"mirror" : L"server");
}

void ClearSites() {
    for (Site site : {Site::Mirror, Site::Server}) {
        RemoveTree(SiteRoot(site));
        MakeDirs(SiteRoot(site));
    }
}

bool PutSiteFile(Site site, const std::wstring& tail, const std::string& bytes,
                 const std::string& options) {
    std::wstring path = SiteRoot(site) + L"\\" + tail;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    MakeDirs(path.substr(0, path.find_last_of(L'\\')));
    if (!options.empty() && !WriteFileBytes(path + L".serve", options))
        return false;
    return WriteFileBytes(path, bytes);
}

std::string PercentDecoded(const std::string& target) {
    std::string bytes;
    for (size_t i = 0; i < target.size(); ++i) {
        if (target[i] == '%' && i + 2 < target.size() &&
            isxdigit(static_cast<unsigned char>(target[i + 1])) &&
            isxdigit(static_cast<unsigned char>(target[i + 2]))) {
            bytes += static_cast<char>(std::stoi(target.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            bytes += target[i];
        }
    }
    return bytes;
}

RequestLog::RequestLog() : start_(ReadFileBytes(RequestLogPath()).size()) {}

std::vector<ServerRequest> RequestLog::Requests() const {
    std::string all = ReadFileBytes(RequestLogPath());
    std::vector<ServerRequest> requests;
    if (all.size() < start_)
        return requests;
    for (const std::string& line : Split(all.substr(start_), '\n')) {
        std::vector<std::string> f = Split(line, '\t');
        f.resize(4);
        requests.push_back({f[0], f[1], f[2], f[3]});
    }
    return requests;
}

std::vector<std::string> RequestLog::Targets() const {
    std::vector<std::string> targets;
    for (const ServerRequest& r : Requests())
        targets.push_back(r.target);
    return targets;
}

} // namespace test
