// Any bytes as the player's proxy list, bypass list and a URL.
#include "fuzz/fuzz_input.h"
#include "net/proxy/proxy_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // A chosen proxy is one host and a port libcurl can take, never a list.
    std::string hostPort, reason;
    if (PickProxy(text, "https", hostPort, reason) == ProxyPick::Proxy) {
        const std::size_t colon = hostPort.rfind(':');
        FUZZ_CHECK(colon != std::string::npos && colon > 0);
        const unsigned long port = std::stoul(hostPort.substr(colon + 1));
        FUZZ_CHECK(port >= 1 && port <= 65535);
        FUZZ_CHECK(hostPort.find_first_of("; \t\r\n/@") == std::string::npos);
    }

    if (auto server = ServerOfUrl(text))
        FUZZ_CHECK(server->port >= 1 && server->port <= 65535 && !server->host.empty() &&
                   !server->scheme.empty());
    BypassesProxy(text, text.substr(size / 2));
    return 0;
}
