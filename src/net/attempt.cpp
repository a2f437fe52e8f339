// One request: the part opened where the kept bytes end, each response's
// body judged at its first bytes (appended, written from zero, or dropped),
// and the outcome decided once the transfer ends.
#include "net/attempt.h"
#include "net/proxy.h"
#include "net/scoped_curl.h"
#include "net/transfer.h"
#include "net/verify_signature.h"
#include "long_path.h"
#include "scoped_win.h"

#include <io.h>
#include <share.h>

#include <optional>

namespace {

const size_t kWriteBufferBytes = 1 << 20;
// With libcurl's default of 16 KiB, Schannel hands the body over about one
// TLS record at a time; under Wine a 256 MiB file arrived four times slower
// over loopback than with this.
const long kReceiveBufferBytes = 256 << 10;

static_assert(kCurlOk == CURLE_OK && kCurlUnsupportedProtocol == CURLE_UNSUPPORTED_PROTOCOL &&
                  kCurlCouldntResolveHost == CURLE_COULDNT_RESOLVE_HOST &&
                  kCurlCouldntConnect == CURLE_COULDNT_CONNECT &&
                  kCurlPartialFile == CURLE_PARTIAL_FILE && kCurlWriteError == CURLE_WRITE_ERROR &&
                  kCurlOperationTimedOut == CURLE_OPERATION_TIMEDOUT &&
                  kCurlGotNothing == CURLE_GOT_NOTHING && kCurlSendError == CURLE_SEND_ERROR &&
                  kCurlRecvError == CURLE_RECV_ERROR,
              "libcurl's result codes");

// Where the current response's body goes.
enum class Body { Undecided, Dropped, Written, Appended, Refetch };

bool Writing(Body body) {
    return body == Body::Written || body == Body::Appended;
}

// The current response; a redirect's is dropped at the next status line.
struct Response {
    std::string etag, lastModified, contentRange, retryAfter;
    Body body = Body::Undecided;
};

// One attempt's state, shared with libcurl's callbacks.
struct Attempt {
    Attempt(PartFile& p, const std::string& u) : part(p), url(u) {}
    PartFile& part;
    const std::string& url;
    CURL* curl = nullptr;
    FILE* file = nullptr;
    std::optional<PartFile::Kept> kept; // the bytes asked to be continued
    bool infoKept = false;              // the .part.info describes the file's bytes
    Response response;
    ServerCheck server;
    ArrivedHash hash;              // of the bytes the .part holds
    curl_off_t now = 0, total = 0; // of the current response's body
};

// A transfer counts only if libcurl finished it, the file was closed without
// error and the last response was 200, or a 206 that continued the kept bytes.
bool DownloadSucceeded(CURLcode result, long status, bool fileClosed, bool continued) {
    // Unasked for, a 206 or a 304 is no more a copy of the file than a 404 is.
    return result == CURLE_OK && fileClosed && (status == 200 || (status == 206 && continued));
}

// The file changed since the kept bytes came: its whole body follows.
bool StartFromZero(Attempt& a) {
    a.infoKept = !a.part.DropInfo();
    if (fflush(a.file) != 0 || _chsize_s(_fileno(a.file), 0) != 0 ||
        _fseeki64(a.file, 0, SEEK_SET) != 0)
        return false;
    a.kept.reset();
    Logger::Write(L"INFO", L"The file changed on the server; downloading it from the start");
    return true;
}

// The first body bytes of a response decide where its body goes; false ends
// the transfer.
bool DecideBody(Attempt& a) {
    Response& r = a.response;
    r.body = Body::Dropped;
    const long status = ResponseStatus(a.curl);
    if (a.kept && (status == 206 || status == 416)) {
        const auto answer =
            JudgeRangeAnswer(status, r.contentRange, a.kept->bytes, a.kept->info.length);
        r.body = answer == RangeAnswer::Append ? Body::Appended : Body::Refetch;
        a.hash.Start();
        return r.body == Body::Appended && a.hash.AddKept(a.file, a.kept->bytes);
    }
    if (status != 200)
        return true; // an error body is not the file; kept bytes wait for the next attempt
    if (a.kept && !StartFromZero(a))
        return false;
    r.body = Body::Written;
    a.hash.Start();
    curl_off_t length = -1;
    curl_easy_getinfo(a.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    Validator validator = ChooseValidator(r.etag, r.lastModified);
    if (length > 0 && !validator.value.empty())
        a.infoKept = a.part.WriteInfo(
            {a.url, validator.value, validator.isEtag, static_cast<std::uint64_t>(length)});
    return true;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    Attempt& a = *static_cast<Attempt*>(user);
    if (a.response.body == Body::Undecided && !DecideBody(a))
        return 0; // ends the transfer
    if (!Writing(a.response.body))
        return size * count;
    const size_t written = WriteDownloadData(data, size, count, a.file);
    a.hash.Add(data, written * size);
    return written;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    Attempt& a = *static_cast<Attempt*>(user);
    const std::string_view line(data, size * count);
    Response& r = a.response;
    if (line.substr(0, 5) == "HTTP/")
        r = Response();
    else if (auto v = HeaderValue(line, "etag"))
        r.etag = std::string(*v);
    else if (auto v = HeaderValue(line, "last-modified"))
        r.lastModified = std::string(*v);
    else if (auto v = HeaderValue(line, "content-range"))
        r.contentRange = std::string(*v);
    else if (auto v = HeaderValue(line, "retry-after"))
        r.retryAfter = std::string(*v);
    return size * count;
}

int OnProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
    Attempt& a = *static_cast<Attempt*>(user);
    a.total = dltotal;
    a.now = dlnow;
    return 0;
}

// Tells the caller how far the file has come.
void Tick(const Attempt& a, const DownloadProgress& progress) {
    if (!progress)
        return;
    const bool writing = Writing(a.response.body);
    const std::uint64_t base = a.response.body == Body::Appended ? a.kept->bytes : 0;
    const std::uint64_t now = writing && a.now > 0 ? static_cast<std::uint64_t>(a.now) : 0;
    const std::uint64_t total = writing && a.total > 0 ? static_cast<std::uint64_t>(a.total) : 0;
    progress(base + now, total ? base + total : 0);
}

bool SetOptions(Attempt& a, curl_slist* headers, const std::string& range) {
    CURL* curl = a.curl;
    bool ok = SetTransferOptions(curl, a.url.c_str(), a.server) &&
              SetOption(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes, L"BUFFERSIZE") &&
              SetOption(curl, CURLOPT_WRITEFUNCTION, OnBody, L"WRITEFUNCTION") &&
              SetOption(curl, CURLOPT_WRITEDATA, &a, L"WRITEDATA") &&
              SetOption(curl, CURLOPT_HEADERFUNCTION, OnHeader, L"HEADERFUNCTION") &&
              SetOption(curl, CURLOPT_HEADERDATA, &a, L"HEADERDATA") &&
              SetOption(curl, CURLOPT_XFERINFOFUNCTION, OnProgress, L"XFERINFOFUNCTION") &&
              SetOption(curl, CURLOPT_XFERINFODATA, &a, L"XFERINFODATA") &&
              SetOption(curl, CURLOPT_NOPROGRESS, 0L, L"NOPROGRESS");
    if (ok && !range.empty())
        ok = SetOption(curl, CURLOPT_RANGE, range.c_str(), L"RANGE") &&
             SetOption(curl, CURLOPT_HTTPHEADER, headers, L"HTTPHEADER");
    return ok;
}

// Opens the part at the end of the kept bytes, or empty; nothing when the
// attempt goes on, else how it ends.
std::optional<Outcome> OpenPart(Attempt& a, ScopedFile& stream) {
    // Exclusive: a second copy of the program must not write into it too.
    FILE* opened =
        _wfsopen(FileSystemPath(a.part.path()).c_str(), a.kept ? L"r+b" : L"wb", _SH_DENYRW);
    if (!opened) {
        Logger::Write(L"ERROR", L"Failed to open file for writing: " + a.part.target());
        return Outcome::Failed;
    }
    stream.reset(opened);
    a.file = opened;
    if (a.kept && (_fseeki64(a.file, 0, SEEK_END) != 0 ||
                   _ftelli64(a.file) != static_cast<long long>(a.kept->bytes))) {
        stream.close();
        a.part.Discard();
        return Outcome::StartOver;
    }
    // The CRT's own 4 KiB buffer would make a system call of each piece
    // libcurl hands over. A failed setvbuf keeps the default.
    setvbuf(a.file, nullptr, _IOFBF, kWriteBufferBytes);
    return std::nullopt;
}

// What the ended transfer leaves: the file placed, the part kept for another
// attempt, or nothing.
Outcome Conclude(Attempt& a, CURLcode result, long status, bool closed,
                 const DownloadProgress& progress) {
    // A 416 comes without a body, so no body decided it.
    if (a.response.body == Body::Refetch || (a.kept && status == 416)) {
        Logger::Write(L"INFO", L"The server cannot continue the download; starting from zero");
        a.part.Discard();
        return Outcome::StartOver;
    }
    // A continued file must come to exactly the length its first response
    // promised; a fresh one libcurl holds to its Content-Length.
    const bool appended = a.response.body == Body::Appended;
    if (DownloadSucceeded(result, status, closed, appended) &&
        (!appended || a.part.Size() == static_cast<long long>(a.kept->info.length))) {
        if (SignatureHolds(a.part, a.url, progress, a.hash) && a.part.Place()) {
            Logger::Write(L"INFO", L"Download successful");
            return Outcome::Done;
        }
        a.part.Discard();
        return Outcome::Failed;
    }
    Logger::Write(L"ERROR", L"Download failed with HTTP code: " + std::to_wstring(status));
    if (result != CURLE_OK)
        Logger::Write(L"ERROR", L"Transfer error: " + TransferError(result, a.server));
    else if (!closed)
        Logger::Write(L"ERROR", L"Failed to write the download to disk: " + a.part.target());
    // Kept only when the next attempt can ask for the rest.
    const bool retry = closed && IsTransientFailure(result, status);
    if (!retry || !a.infoKept || a.part.Size() <= 0)
        a.part.Discard();
    return retry ? Outcome::Retry : Outcome::Failed;
}

} // namespace

Outcome RunAttempt(PartFile& part, const std::string& url, const DownloadProgress& progress,
                   std::string& retryAfter) {
    Attempt a(part, url);
    a.kept = part.TakeKept(url);
    a.infoKept = a.kept.has_value();
    ScopedCurl curl;
    if (!curl.get()) {
        Logger::Write(L"ERROR", L"Failed to initialize CURL");
        return Outcome::Failed;
    }
    a.curl = curl.get();
    ScopedFile stream;
    if (auto ended = OpenPart(a, stream))
        return *ended;

    ScopedCurlList headers;
    std::string range;
    if (a.kept) {
        range = std::to_string(a.kept->bytes) + "-";
        if (!headers.append(("If-Range: " + a.kept->info.validator).c_str())) {
            Logger::Write(L"ERROR", L"Failed to initialize CURL");
            return Outcome::Failed;
        }
        Logger::Write(L"INFO", L"Resuming download at byte " + std::to_wstring(a.kept->bytes));
    }
    ChooseRoute(a.url, [&] { Tick(a, progress); });
    if (!SetOptions(a, headers.get(), range)) {
        stream.close();
        if (!a.kept)
            part.Discard();
        return Outcome::Failed;
    }

    const CURLcode result =
        NoteProxyOutcome(a.url, a.curl, Perform(a.curl, [&] { Tick(a, progress); }));
    const long status = ResponseStatus(a.curl);
    // A failed close means the last buffered bytes never reached the disk.
    const bool closed = stream.close();
    retryAfter = a.response.retryAfter;
    return Conclude(a, result, status, closed, progress);
}
