// The rules of the system's proxy texts, as WinINet and WinHTTP read them.
#include "net/proxy_rules.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

std::vector<std::string> Entries(const std::string& list) {
    std::vector<std::string> entries;
    std::string entry;
    for (char c : list + ";") {
        if (c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!entry.empty())
                entries.push_back(entry);
            entry.clear();
        } else {
            entry += c;
        }
    }
    return entries;
}

// A port of 1 to 65535 in decimal, nothing else.
std::optional<unsigned> Port(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const unsigned long port = std::stoul(text);
    if (port == 0 || port > 65535)
        return std::nullopt;
    return static_cast<unsigned>(port);
}

bool HostChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

bool V6Char(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
}

// "host[:port]" or "[v6][:port]": the host and the port's text.
bool SplitHostPort(const std::string& text, std::string& host, std::string& port) {
    size_t end = 0;
    if (!text.empty() && text[0] == '[') {
        end = text.find(']');
        if (end == std::string::npos ||
            !std::all_of(text.begin() + 1, text.begin() + static_cast<std::ptrdiff_t>(end), V6Char))
            return false;
        host = text.substr(0, ++end);
    } else {
        end = std::min(text.find(':'), text.size());
        host = text.substr(0, end);
        if (host.empty() || !std::all_of(host.begin(), host.end(), HostChar))
            return false;
    }
    if (end == text.size()) {
        port.clear();
        return true;
    }
    if (text[end] != ':')
        return false;
    port = text.substr(end + 1);
    return true;
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
    std::string port;
    if (!SplitHostPort(authority, server.host, port))
        return std::nullopt;
    server.host = Lower(server.host);
    const auto number =
        port.empty() ? std::optional<unsigned>(server.scheme == "https" ? 443 : 80) : Port(port);
    if (!number)
        return std::nullopt;
    server.port = *number;
    return server;
}

ProxyPick PickProxy(const std::string& list, const std::string& scheme, std::string& hostPort,
                    std::string& reason) {
    std::string named, plain;
    for (const std::string& entry : Entries(list)) {
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
    if (StartsWith(Lower(chosen), "http://"))
        chosen = chosen.substr(7);
    if (!chosen.empty() && chosen.back() == '/')
        chosen.pop_back();
    std::string host, port;
    if (!SplitHostPort(chosen, host, port) || (!port.empty() && !Port(port)))
        return ProxyPick::Malformed;
    hostPort = host + ":" + (port.empty() ? "80" : port);
    return ProxyPick::Proxy;
}

bool BypassesProxy(const std::string& bypassList, const std::string& host) {
    const std::string name = Lower(host);
    for (std::string entry : Entries(Lower(bypassList))) {
        if (entry == "<local>") {
            if (name.find('.') == std::string::npos && name.find(':') == std::string::npos)
                return true;
            continue;
        }
        const size_t scheme = entry.find("://");
        if (scheme != std::string::npos)
            entry = entry.substr(scheme + 3);
        if (Matches(entry, name))
            return true;
    }
    return false;
}
