// Decisions of resuming and retrying a download: the small file kept beside a
// broken-off <name>.part, the headers that make a resume safe, and which
// failures are worth another attempt. Free of <windows.h> and of libcurl's
// header, so they can be compiled natively and fuzzed.
#pragma once

#include "net/net.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What a kept <name>.part needs so the rest can be asked for safely.
struct PartInfo {
    std::string url;       // UTF-8: where the bytes came from
    std::string validator; // the If-Range value
    bool validatorIsEtag = false;
    std::uint64_t length = 0; // the full length the response promised
};

// The largest <name>.part.info taken.
constexpr std::size_t kMaxPartInfoBytes = 8192;

// The text of <name>.part.info, and its reading. Anything that is not exactly
// what FormatPartInfo writes (a file torn by a crash, say) reads as nothing.
std::string FormatPartInfo(const PartInfo& info);
std::optional<PartInfo> ParsePartInfo(std::string_view text);

// A Content-Range value "bytes first-last/complete" with first <= last <
// complete; nothing for any other form ("*", a missing length, overflow).
struct ContentRange {
    std::uint64_t first = 0, last = 0, complete = 0;
};
std::optional<ContentRange> ParseContentRange(std::string_view value);

// The validator a response offers for If-Range: its ETag when that is strong
// (quoted, not W/), else its Last-Modified date; empty when it has neither.
struct Validator {
    std::string value;
    bool isEtag = false;
};
Validator ChooseValidator(std::string_view etag, std::string_view lastModified);

// Whether a kept part may be resumed from a request to url: an ETag names the
// bytes wherever they are served; a date is trusted only from the same URL.
bool MayResumeFrom(const PartInfo& info, std::string_view url);

// How to treat the answer to "Range: bytes=offset-" with If-Range: append a
// 206 that continues exactly at offset up to the recorded length; write a 200
// (the file changed) from byte 0; for anything else ask again from zero.
enum class RangeAnswer { Append, Restart, Refetch };
RangeAnswer JudgeRangeAnswer(long status, std::string_view contentRange, std::uint64_t offset,
                             std::uint64_t length);

// libcurl's result codes that the decisions below tell apart.
constexpr int kCurlOk = 0;
constexpr int kCurlUnsupportedProtocol = 1;
constexpr int kCurlCouldntResolveHost = 6;
constexpr int kCurlCouldntConnect = 7;
constexpr int kCurlPartialFile = 18;
constexpr int kCurlWriteError = 23;
constexpr int kCurlOperationTimedOut = 28;
constexpr int kCurlGotNothing = 52;
constexpr int kCurlSendError = 55;
constexpr int kCurlRecvError = 56;

constexpr int kCurlSslConnectError = 35;
constexpr int kCurlTooManyRedirects = 47;
constexpr int kCurlPeerFailedVerification = 60;

// What the player is told of a request that failed with this result and
// last status: the network failed (no connection, a time-out, a cut or
// stalled body), the TLS connection failed, or the server answered.
FetchFailure FailureOfRequest(int curlResult, long status);

// A failed attempt is worth repeating on the same server when the network
// broke (no connection, a time-out, a cut or stalled body) or the server
// said so (408, 429, 500, 502, 503, 504); anything else is that server's
// final answer (404, a refused certificate, an https downgrade, a full disk).
bool IsTransientFailure(int curlResult, long status);

// The body broke off: a resumable interruption rather than an answer.
bool IsInterruption(int curlResult);

// A Retry-After value in delta-seconds; -1 for any other form (a date too).
long RetryAfterSeconds(std::string_view value);

// The wait before retry number `retry` (1, 2): 1 s, then 2 s, or a
// Retry-After of at most 10 s instead.
unsigned RetryDelayMs(int retry, long retryAfterSeconds);

// The value of a response header line "Name: value" (CR LF and blanks around
// the value removed) when its name is `name`, compared without regard to
// case; nothing for another header or a line without a colon.
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name);
