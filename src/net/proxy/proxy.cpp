// The proxy each server's requests go through, chosen as Windows' own HTTP
// stacks choose it: the current user's settings read once per run, a proxy
// script (found by automatic detection or named by URL) asked per server,
// else the fixed proxy unless the bypass list names the host.
#include "net/proxy/proxy.h"
#include "net/proxy/proxy_rules.h"
#include "net/proxy/scoped_winhttp.h"
#include "net/transfer.h"
#include "frame.h"
#include "scoped_win.h"

#include <memory>
#include <utility>
#include <vector>

namespace {

// A network without a proxy script, or a script server that never answers,
// costs this once per run; WinHTTP's own limits are far longer.
const DWORD kLookupMs = 5000;

// The current user's settings; automatic until a lookup fails.
struct Settings {
    bool automatic = false, autoDetect = false;
    std::wstring scriptUrl;
    std::string proxy, bypass;
};

Settings ReadSettings() {
    Settings s;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        const DWORD error = GetLastError();
        Logger::Write(L"WARNING", L"Proxy settings not read: error " + std::to_wstring(error));
        return s;
    }
    ScopedGlobalText script(config.lpszAutoConfigUrl), proxy(config.lpszProxy),
        bypass(config.lpszProxyBypass);
    s.autoDetect = config.fAutoDetect != FALSE;
    s.scriptUrl = script.get();
    s.automatic = s.autoDetect || !s.scriptUrl.empty();
    s.proxy = ToUtf8(proxy.get());
    s.bypass = ToUtf8(bypass.get());
    return s;
}

Settings& TheSettings() {
    static Settings settings = ReadSettings();
    return settings;
}

// One question to the proxy script, asked on a thread of its own so that an
// answer that never comes keeps the run waiting no longer than kLookupMs. The
// thread touches it only until it sets done; a question left unanswered is
// left to its thread (once per run at most).
struct Lookup {
    std::wstring url, scriptUrl;
    bool autoDetect = false;
    ScopedHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Written before done is set.
    bool answered = false;
    DWORD access = 0, error = 0;
    std::string proxy;
};

DWORD WINAPI RunLookup(void* param) {
    Lookup& job = *static_cast<Lookup*>(param);
    ScopedInternet session(WinHttpOpen(L"qzr#updater", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (job.autoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (!job.scriptUrl.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = job.scriptUrl.c_str();
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    if (session.get() && WinHttpGetProxyForUrl(session.get(), job.url.c_str(), &options, &info)) {
        ScopedGlobalText proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
        job.access = info.dwAccessType;
        job.proxy = ToUtf8(proxy.get());
        job.answered = true;
    } else {
        job.error = GetLastError();
    }
    SetEvent(job.done.get());
    return 0;
}

std::wstring LookupFailure(DWORD error) {
    switch (error) {
    case ERROR_WINHTTP_AUTODETECTION_FAILED:
        return L"no proxy script found on this network";
    case ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT:
        return L"the proxy script could not be downloaded";
    case ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT:
        return L"the proxy script failed";
    default:
        return L"error " + std::to_wstring(error);
    }
}

// The script's proxy list for server (empty: direct); false with the reason.
// tick runs every frame of the wait, so the popup stays painted.
bool LookUp(const Settings& s, const UrlServer& server, const std::function<void()>& tick,
            std::string& list, std::wstring& reason) {
    auto job = std::make_unique<Lookup>();
    job->url = Widen((server.Key() + "/").c_str());
    job->scriptUrl = s.scriptUrl;
    job->autoDetect = s.autoDetect;
    ScopedHandle thread(job->done.get() ? CreateThread(nullptr, 0, RunLookup, job.get(), 0, nullptr)
                                        : nullptr);
    if (!thread.valid()) {
        reason = L"no thread to ask it";
        return false;
    }
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(job->done.get(), kFrameMs) != WAIT_OBJECT_0) {
        if (GetTickCount() - start >= kLookupMs) {
            job.release(); // still its thread's
            reason = L"no answer within " + std::to_wstring(kLookupMs / 1000) + L" s";
            return false;
        }
        if (tick)
            tick();
    }
    if (!job->answered) {
        reason = LookupFailure(job->error);
        return false;
    }
    list = job->access == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? job->proxy : "";
    return true;
}

// "host:port", or empty for direct.
std::string ChooseProxy(const UrlServer& server, const std::function<void()>& tick) {
    Settings& s = TheSettings();
    std::string list = s.proxy;
    bool fromScript = false;
    if (s.automatic) {
        std::wstring reason;
        fromScript = LookUp(s, server, tick, list, reason);
        if (!fromScript) {
            Logger::Write(L"WARNING", L"Proxy script not used: " + reason);
            s.automatic = false; // once per run
            list = s.proxy;
        }
    }
    if (!fromScript && BypassesProxy(s.bypass, server.host))
        return {};
    std::string hostPort, reason;
    const ProxyPick pick = PickProxy(list, server.scheme, hostPort, reason);
    if (pick == ProxyPick::Malformed)
        Logger::Write(L"WARNING", L"Proxy setting not used: " + Widen(reason.c_str()));
    return pick == ProxyPick::Proxy ? hostPort : std::string();
}

struct Route {
    std::string server; // UrlServer::Key()
    std::string proxy;  // empty: direct
    bool retryDirect = false;
};

// A run has a route per server, two of them as built.
std::vector<Route>& Routes() {
    static std::vector<Route> routes;
    return routes;
}

Route* FindRoute(const std::string& url) {
    const auto server = ServerOfUrl(url);
    const std::string key = server ? server->Key() : std::string();
    for (Route& route : Routes())
        if (route.server == key)
            return &route;
    return nullptr;
}

Route& RouteOf(const std::string& url, const std::function<void()>& tick = {}) {
    if (Route* known = FindRoute(url))
        return *known;
    const auto server = ServerOfUrl(url);
    Route route{server ? server->Key() : std::string(), {}, false};
    if (server)
        route.proxy = ChooseProxy(*server, tick);
    Logger::Write(L"INFO",
                  L"Proxy: " + (route.proxy.empty() ? L"none" : Widen(route.proxy.c_str())));
    Routes().push_back(route);
    return Routes().back();
}

} // namespace

void ChooseRoute(const std::string& url, const std::function<void()>& tick) {
    RouteOf(url, tick);
}

bool SetProxyOptions(CURL* curl, const std::string& url) {
    const Route& route = RouteOf(url);
    // Empty texts, not unset ones: libcurl would read the environment's.
    if (route.proxy.empty())
        return SetOption(curl, CURLOPT_PROXY, "", L"PROXY") &&
               SetOption(curl, CURLOPT_NOPROXY, "", L"NOPROXY");
    const std::string proxy = "http://" + route.proxy;
    return SetOption(curl, CURLOPT_PROXY, proxy.c_str(), L"PROXY") &&
           SetOption(curl, CURLOPT_NOPROXY, "", L"NOPROXY") &&
           // A 407 is answered with the player's Windows logon, through SSPI.
           SetOption(curl, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_NEGOTIATE | CURLAUTH_NTLM),
                     L"PROXYAUTH") &&
           SetOption(curl, CURLOPT_PROXYUSERPWD, ":", L"PROXYUSERPWD");
}

CURLcode NoteProxyOutcome(const std::string& url, CURL* curl, CURLcode result) {
    Route& route = RouteOf(url);
    if (result == CURLE_OK || route.proxy.empty())
        return result;
    long tunnel = 0;
    curl_off_t sent = 0;
    curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &tunnel);
    curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME_T, &sent);
    // A tunnel that stood, or a request that went out, puts the failure
    // past the proxy.
    if (tunnel / 100 == 2 || sent > 0)
        return result;
    Logger::Write(L"WARNING",
                  L"The proxy failed; trying the server directly: " + Widen(route.proxy.c_str()));
    route.proxy.clear();
    route.retryDirect = true;
    return result;
}

bool TakeDirectRetry(const std::string& url) {
    Route* route = FindRoute(url);
    return route && std::exchange(route->retryDirect, false);
}
