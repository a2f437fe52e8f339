// What every request of the downloads shares: the options its safety rests
// on, the loop that drives it, and the text conversions at libcurl's edge.
// Only net/ includes this (and so libcurl's header).
#pragma once

#include "net/net.h"
#include "net/tls/server_certificate.h"
#include "log/log.h"

#include <curl/curl.h>

#include <functional>
#include <string>

// Every option the transfer's safety or progress rests on must take: a
// refused one ends the attempt before any request.
template <typename T> bool SetOption(CURL* curl, CURLoption option, T value, const wchar_t* name) {
    if (curl_easy_setopt(curl, option, value) == CURLE_OK)
        return true;
    Logger::Write(L"ERROR", std::wstring(L"Failed to set download option: ") + name);
    return false;
}

// The options every request of the program rests on, the file's and its
// signature's alike; server keeps what the check of the server found.
bool SetTransferOptions(CURL* curl, const char* url, ServerCheck& server);

// libcurl's reason for a failed transfer, or the refusal of the server's
// certificate that stopped it.
std::wstring TransferError(CURLcode result, const ServerCheck& server);

// What a failed request means for the player: a certificate refused as
// expired or not yet valid says the clock is wrong (whether this program's
// check refused it or the system's own TLS), any other refusal that the
// connection is intercepted; the rest as FailureOfRequest says.
FetchFailure RequestFailure(CURLcode result, long status, const ServerCheck& server);

// Runs the transfer, calling tick at least once a frame even while no byte
// arrives; libcurl's own loop would only wake once a second.
CURLcode Perform(CURL* curl, const std::function<void()>& tick);

// The response status of the last answer; 0 before any.
long ResponseStatus(CURL* curl);

// UTF-8 for libcurl; empty when the text cannot be converted.
std::string ToUtf8(const std::wstring& text);
// libcurl's ASCII messages, widened for the log.
std::wstring Widen(const char* text);
