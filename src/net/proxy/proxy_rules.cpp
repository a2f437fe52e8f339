// The rules of the system's proxy texts, as WinINet and WinHTTP read them.
#include "net/proxy/proxy_rules.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The next entry of a list split by ';' or blanks from at; empty at its end.
std::string NextEntry(const std::string& list, size_t& at) {
    const char* separators = "; \t\r\n";
    const size_t start = list.find_first_not_of(separators, at);
    if (start == std::string::npos)
        return {};
    at = std::min(list.find_first_of(separators, start), list.size());
    return list.substr(start, at - start);
}

bool HostChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

bool V6Char(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
}

// "host[:port]" or "[v6][:port]" with a port of 1 to 65535; port is left
// as it was when none is given.
bool SplitHostPort(const std::string& text, std::string& host, unsigned& port) {
    const bool v6 = !text.empty() && text[0] == '[';
    size_t end = v6 ? text.find(']') : std::min(text.find(':'), text.size());
    if (end == std::string::npos || end == (v6 ? 1 : 0))
        return false;
    end += v6 ? 1 : 0;
    host = text.substr(0, end);
    if (!std::all_of(host.begin() + v6, host.end() - v6, v6 ? V6Char : HostChar))
        return false;
    if (end == text.size())
        return true;
    if (text[end] != ':' || text.size() - end < 2 || text.size() - end > 6)
        return false;
    unsigned number = 0;
    for (size_t i = end + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        number = number * 10 + static_cast<unsigned>(text[i] - '0');
    }
    port = number;
    return number >= 1 && number <= 65535;
}

// '*' matches any run; letter case is already folded.
bool Matches(const std::string& pattern, const std::string& text) {
    size_t p = 0, t = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace

std::string UrlServer::Key() const {
    return scheme + "://" + host + ":" + std::to_string(port);
}

std::optional<UrlServer> ServerOfUrl(const std::string& url) {
    const size_t colon = url.find("://");
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    UrlServer server;
    server.scheme = Lower(url.substr(0, colon));
    std::string authority = url.substr(colon + 3, url.find_first_of("/?#", colon + 3) - colon - 3);
    authority = authority.substr(authority.rfind('@') + 1); // rfind gives npos + 1 == 0
    server.port = server.scheme == "https" ? 443 : 80;
    if (!SplitHostPort(authority, server.host, server.port))
        return std::nullopt;
    server.host = Lower(server.host);
    return server;
}

ProxyPick PickProxy(const std::string& list, const std::string& scheme, std::string& hostPort,
                    std::string& reason) {
    std::string named, plain, entry;
    for (size_t at = 0; !(entry = NextEntry(list, at)).empty();) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            if (plain.empty())
                plain = entry;
        } else if (named.empty() && Lower(entry.substr(0, equals)) == scheme) {
            named = entry.substr(equals + 1);
        }
    }
    std::string chosen = named.empty() ? plain : named;
    if (chosen.empty())
        return ProxyPick::Direct;
    reason = "proxy setting \"" + chosen + "\" is not host:port";
    if (Lower(chosen.substr(0, 7)) == "http://")
        chosen.erase(0, 7);
    if (!chosen.empty() && chosen.back() == '/')
        chosen.pop_back();
    std::string host;
    unsigned port = 80;
    if (!SplitHostPort(chosen, host, port))
        return ProxyPick::Malformed;
    hostPort = host + ":" + std::to_string(port);
    return ProxyPick::Proxy;
}

bool BypassesProxy(const std::string& bypassList, const std::string& host) {
    const std::string name = Lower(host), list = Lower(bypassList);
    std::string entry;
    for (size_t at = 0; !(entry = NextEntry(list, at)).empty();) {
        if (entry == "<local>") {
            if (name.find_first_of(".:") == std::string::npos)
                return true;
            continue;
        }
        const size_t scheme = entry.find("://");
        if (Matches(scheme == std::string::npos ? entry : entry.substr(scheme + 3), name))
            return true;
    }
    return false;
}
