// One request: the part opened where the kept bytes end, the responses
// judged as they come (response.cpp), and the outcome decided once the
// transfer ends.
#include "net/attempt.h"
#include "net/proxy/proxy.h"
#include "net/response.h"
#include "net/scoped_curl.h"
#include "net/signature/verify_signature.h"
#include "net/transfer.h"
#include "long_path.h"
#include "scoped_win.h"

#include <share.h>

#include <cerrno>
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
                  kCurlRecvError == CURLE_RECV_ERROR &&
                  kCurlSslConnectError == CURLE_SSL_CONNECT_ERROR &&
                  kCurlTooManyRedirects == CURLE_TOO_MANY_REDIRECTS &&
                  kCurlPeerFailedVerification == CURLE_PEER_FAILED_VERIFICATION,
              "libcurl's result codes");

// A transfer counts only if libcurl finished it, the file was closed without
// error and the last response was 200, or a 206 that continued the kept bytes.
bool DownloadSucceeded(CURLcode result, long status, bool fileClosed, bool continued) {
    // Unasked for, a 206 or a 304 is no more a copy of the file than a 404 is.
    return result == CURLE_OK && fileClosed && (status == 200 || (status == 206 && continued));
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
              SetOption(curl, CURLOPT_NOPROGRESS, 0L, L"NOPROGRESS") &&
              // A proxy's answer to CONNECT is no response of the file's.
              SetOption(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L, L"SUPPRESS_CONNECT_HEADERS");
    if (ok && !range.empty())
        ok = SetOption(curl, CURLOPT_RANGE, range.c_str(), L"RANGE") &&
             SetOption(curl, CURLOPT_HTTPHEADER, headers, L"HTTPHEADER");
    return ok;
}

// A write that failed: the drive is full, or the folder may not be written.
void ReportWriteFailure(Attempt& a, int error) {
    a.failure = DownloadFailure();
    a.failure.kind = error == ENOSPC ? FetchFailure::DiskFull : FetchFailure::NotWritable;
    a.failure.folder = a.part.folder();
}

// Opens the part at the end of the kept bytes, or empty; nothing when the
// attempt goes on, else how it ends.
std::optional<Outcome> OpenPart(Attempt& a, ScopedFile& stream) {
    // Exclusive: a second copy of the program must not write into it too.
    errno = 0;
    FILE* opened =
        _wfsopen(FileSystemPath(a.part.path()).c_str(), a.kept ? L"r+b" : L"wb", _SH_DENYRW);
    if (!opened) {
        ReportWriteFailure(a, errno);
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

// A whole file, checked and moved into place. One that passed its check but
// could not be moved (a scanner holding it, say) keeps its part and info, so
// the next attempt or the next start places it without fetching it again.
Outcome PlaceWhole(Attempt& a, const DownloadProgress& progress) {
    if (!SignatureHolds(a.part, a.url, progress, a.hash)) {
        a.failure.kind = FetchFailure::BadSignature;
        a.part.Discard();
        return Outcome::Failed;
    }
    if (!a.part.Place()) {
        a.failure.kind = FetchFailure::NotWritable;
        a.failure.folder = a.part.folder();
        return Outcome::Retry;
    }
    Logger::Write(L"INFO", L"Download successful");
    return Outcome::Done;
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
        (!appended || a.part.Size() == static_cast<long long>(a.kept->info.length)))
        return PlaceWhole(a, progress);
    Logger::Write(L"ERROR", L"Download failed with HTTP code: " + std::to_wstring(status));
    if (a.broken != BodyLimit::None) {
        ReportBrokenLimit(a);
        a.part.Discard();
        return Outcome::Failed;
    }
    if (result != CURLE_OK)
        Logger::Write(L"ERROR", L"Transfer error: " + TransferError(result, a.server));
    else if (!closed)
        Logger::Write(L"ERROR", L"Failed to write the download to disk: " + a.part.target());
    if (!closed || a.writeErrno != 0)
        ReportWriteFailure(a, a.writeErrno != 0 ? a.writeErrno : errno);
    else
        a.failure.kind = RequestFailure(result, status, a.server);
    // Kept only when the next attempt can ask for the rest.
    const bool retry = closed && IsTransientFailure(result, status);
    if (!retry || !a.infoKept || a.part.Size() <= 0)
        a.part.Discard();
    return retry ? Outcome::Retry : Outcome::Failed;
}

} // namespace

Outcome RunAttempt(PartFile& part, const std::string& url, const DownloadProgress& progress,
                   std::string& retryAfter, DownloadFailure& failure) {
    Attempt a(part, url, failure);
    a.kept = part.TakeKept(url);
    a.infoKept = a.kept.has_value();
    if (a.kept && a.kept->bytes == a.kept->info.length) {
        Logger::Write(L"INFO", L"Placing the whole download kept from before: " + part.target());
        return PlaceWhole(a, progress);
    }
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
    errno = 0;
    const bool closed = stream.close();
    retryAfter = a.response.retryAfter;
    return Conclude(a, result, status, closed, progress);
}
