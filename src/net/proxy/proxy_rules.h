// The system's proxy settings read as text, without the system: which entry
// of a proxy list serves a URL's scheme, and whether the bypass list sends a
// host direct. The texts come from the player's settings, so anything may
// be in them.
#pragma once

#include <optional>
#include <string>

// The server a URL names; scheme and host in lower case.
struct UrlServer {
    std::string scheme, host;
    unsigned port = 0;
    // "scheme://host:port": one route per server and run.
    std::string Key() const;
};
std::optional<UrlServer> ServerOfUrl(const std::string& url);

enum class ProxyPick { Direct, Proxy, Malformed };

// From a proxy list as Windows keeps it ("host:port", or per scheme
// "http=host:port;https=host:port", entries split by ';' or blanks), the
// proxy for scheme as "host:port" (port 80 when none is given): the entry
// named for the scheme, else the first plain one, else Direct. Malformed
// sets reason.
ProxyPick PickProxy(const std::string& list, const std::string& scheme, std::string& hostPort,
                    std::string& reason);

// Whether host is on a bypass list: entries split by ';' or blanks, letter
// case ignored, '*' for any run of characters, "<local>" for any name
// without a dot.
bool BypassesProxy(const std::string& bypassList, const std::string& host);
