// The options and the loop every request of the downloads runs with.
#include "net/transfer.h"
#include "net/tls/ca_file.h"
#include "net/proxy/proxy.h"
#include "net/resume_rules.h"
#include "net/scoped_curl.h"
#include "frame.h"

#include <windows.h>

#include <string_view>

namespace {

const char kUserAgent[] = "qzr#updater";
const long kConnectTimeoutSeconds = 30;
// A transfer that stays below the floor for the stall time (libcurl's rate
// over its last few seconds) is abandoned. The slowest mobile fallback
// carries several KiB a second; a server that drips a few bytes a second
// would otherwise hold the launch for hours.
const long kStallFloorBytesPerSecond = 1024;
const long kStallSeconds = UPDATER_STALL_SECONDS;
const long kMaxRedirects = 30;

// Lives as long as the run; without it (no memory) each transfer connects
// on its own.
CURLSH* RunShare() {
    static ScopedCurlShare share;
    return share.get();
}

} // namespace

bool SetTransferOptions(CURL* curl, const char* url, ServerCheck& server) {
    server.curl = curl;
    return SetOption(curl, CURLOPT_URL, url, L"URL") &&
           SetOption(curl, CURLOPT_ERRORBUFFER, server.errorText, L"ERRORBUFFER") &&
           SetOption(curl, CURLOPT_SHARE, RunShare(), L"SHARE") &&
           SetOption(curl, CURLOPT_FOLLOWLOCATION, 1L, L"FOLLOWLOCATION") &&
           // The launcher runs what arrives here, so only a server that
           // proves who it is may supply it, and never over plain http,
           // redirects included.
           SetOption(curl, CURLOPT_SSL_VERIFYPEER, 1L, L"SSL_VERIFYPEER") &&
           SetOption(curl, CURLOPT_SSL_VERIFYHOST, 2L, L"SSL_VERIFYHOST") &&
           SetOption(curl, CURLOPT_USERAGENT, kUserAgent, L"USERAGENT") &&
           // Players behind networks that block revocation servers must
           // still get in.
           SetOption(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT),
                     L"SSL_OPTIONS") &&
           // A CA file (test builds, operators who pin their own) takes
           // libcurl's own check; without one the system's roots decide.
           (kCaFile[0] != '\0' ? SetOption(curl, CURLOPT_CAINFO, kCaFile, L"CAINFO")
                               : SetOption(curl, CURLOPT_PREREQFUNCTION, CheckServerBeforeRequest,
                                           L"PREREQFUNCTION") &&
                                     SetOption(curl, CURLOPT_PREREQDATA, &server, L"PREREQDATA")) &&
           SetOption(curl, CURLOPT_PROTOCOLS_STR, "https", L"PROTOCOLS_STR") &&
           SetOption(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https", L"REDIR_PROTOCOLS_STR") &&
           // Without limits a dead server or a redirect loop would hang
           // the launcher.
           SetOption(curl, CURLOPT_MAXREDIRS, kMaxRedirects, L"MAXREDIRS") &&
           SetOption(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds, L"CONNECTTIMEOUT") &&
           SetOption(curl, CURLOPT_LOW_SPEED_LIMIT, kStallFloorBytesPerSecond,
                     L"LOW_SPEED_LIMIT") &&
           SetOption(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds, L"LOW_SPEED_TIME") &&
           // The system's proxy settings decide the route, never the environment.
           SetProxyOptions(curl, url);
}

// On the multi interface, whose poll can wake a frame later at most.
CURLcode Perform(CURL* curl, const std::function<void()>& tick) {
    ScopedCurlMulti multi(curl);
    if (!multi.get())
        return CURLE_OUT_OF_MEMORY;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK)
            return CURLE_RECV_ERROR;
        tick();
        if (running && curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(kFrameMs),
                                       nullptr) != CURLM_OK)
            return CURLE_RECV_ERROR;
    }
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left))
        if (msg->msg == CURLMSG_DONE)
            return msg->data.result;
    return CURLE_RECV_ERROR;
}

std::wstring TransferError(CURLcode result, const ServerCheck& server) {
    if (result == CURLE_ABORTED_BY_CALLBACK && !server.refusal.empty())
        return server.refusal;
    return Widen(curl_easy_strerror(result));
}

FetchFailure RequestFailure(CURLcode result, long status, const ServerCheck& server) {
    if (result == CURLE_ABORTED_BY_CALLBACK && !server.refusal.empty())
        return server.timeInvalid ? FetchFailure::ClockWrong : FetchFailure::Intercepted;
    // Windows' Schannel refuses such a certificate before any request, in
    // its own words (SEC_E_CERT_EXPIRED; CERT_TRUST_IS_NOT_TIME_VALID where
    // libcurl checks against a CA file).
    const std::string_view text = server.errorText;
    if ((result == CURLE_PEER_FAILED_VERIFICATION || result == CURLE_SSL_CONNECT_ERROR) &&
        (text.find("EXPIRED") != text.npos || text.find("NOT_TIME_VALID") != text.npos))
        return FetchFailure::ClockWrong;
    return FailureOfRequest(result, status);
}

long ResponseStatus(CURL* curl) {
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

std::string ToUtf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], n, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(n) - 1);
    return narrow;
}

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (; *text; ++text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}
