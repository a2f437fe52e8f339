// One attempt's state and libcurl's callbacks for it: each response judged as
// its headers end (its body appended, written from zero, or dropped), and
// every byte of a body held to the limits of a runtime file.
#pragma once

#include "net/net.h"
#include "net/part_file.h"
#include "net/signature/arrived_hash.h"
#include "net/tls/server_certificate.h"

#include <curl/curl.h>

#include <cstdio>
#include <optional>
#include <string>

// Where the current response's body goes.
enum class Body { Undecided, Dropped, Written, Appended, Refetch };

// The current response; a redirect's is dropped at the next status line.
struct Response {
    long status = 0;
    std::string etag, lastModified, contentRange, retryAfter;
    Body body = Body::Undecided;
};

// What a body would break: the ceiling of one runtime file, the length the
// server declared, or the reserve kept free on the player's drive.
enum class BodyLimit { None, Ceiling, Declared, Reserve };

// One attempt's state, shared with libcurl's callbacks.
struct Attempt {
    Attempt(PartFile& p, const std::string& u, DownloadFailure& f) : part(p), url(u), failure(f) {}
    PartFile& part;
    const std::string& url;
    DownloadFailure& failure;
    CURL* curl = nullptr;
    FILE* file = nullptr;
    std::optional<PartFile::Kept> kept; // the bytes asked to be continued
    bool infoKept = false;              // the .part.info describes the file's bytes
    Response response;
    ServerCheck server;
    ArrivedHash hash;              // of the bytes the .part holds
    curl_off_t now = 0, total = 0; // of the current response's body
    // The body being written: the file's bytes before it, what it declared
    // (-1: nothing), what it has written, the drive's room above the reserve
    // when it began, and the limit it broke.
    std::uint64_t before = 0, written = 0, room = 0;
    long long declared = -1;
    BodyLimit broken = BodyLimit::None;
    int writeErrno = 0; // the C runtime's reason for a failed write
};

bool Writing(Body body);

// libcurl's header, body and progress callbacks, with the Attempt as data.
size_t OnHeader(char* data, size_t size, size_t count, void* attempt);
size_t OnBody(char* data, size_t size, size_t count, void* attempt);
int OnProgress(void* attempt, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t);

// Logs the limit a body broke and says so in the attempt's failure.
void ReportBrokenLimit(Attempt& a);
