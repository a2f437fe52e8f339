// One HTTPS download into one file. The body goes to <name>.part and replaces
// the file only when it is whole; a transfer that breaks off keeps its part
// (with <name>.part.info, what is needed to ask for the rest), and the next
// attempt asks for the rest only. Transient failures are tried again on the
// same server, and the caller hears of the progress many times a second.
#include "net/net.h"
#include "net/ca_file.h"
#include "net/download_rules.h"
#include "net/resume_rules.h"
#include "net/scoped_curl.h"
#include "net/server_certificate.h"
#include "net/signature_rules.h"
#include "net/signing_key.h"
#include "net/verify_signature.h"
#include "log/log.h"
#include "patch/patch_entry.h"
#include "scoped_win.h"

#include <windows.h>
#include <io.h>
#include <share.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

namespace {

const char kUserAgent[] = "qzr#updater";
const long kConnectTimeoutSeconds = 30;
const long kStallSeconds = UPDATER_STALL_SECONDS;
const long kMaxRedirects = 30;
const size_t kWriteBufferBytes = 1 << 20;
// With libcurl's default of 16 KiB, Schannel hands the body over about one
// TLS record at a time; under Wine a 256 MiB file arrived four times slower
// over loopback than with this.
const long kReceiveBufferBytes = 256 << 10;
const int kAttemptsPerServer = 3;
// The longest the thread goes without telling the caller, who keeps the
// windows answering from there.
const DWORD kTickMs = 30;

static_assert(kCurlOk == CURLE_OK && kCurlUnsupportedProtocol == CURLE_UNSUPPORTED_PROTOCOL &&
                  kCurlCouldntResolveHost == CURLE_COULDNT_RESOLVE_HOST &&
                  kCurlCouldntConnect == CURLE_COULDNT_CONNECT &&
                  kCurlPartialFile == CURLE_PARTIAL_FILE && kCurlWriteError == CURLE_WRITE_ERROR &&
                  kCurlOperationTimedOut == CURLE_OPERATION_TIMEDOUT &&
                  kCurlGotNothing == CURLE_GOT_NOTHING && kCurlSendError == CURLE_SEND_ERROR &&
                  kCurlRecvError == CURLE_RECV_ERROR,
              "libcurl's result codes");

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

// libcurl's reason for a failed transfer, or the refusal of the server's
// certificate that stopped it.
std::wstring TransferError(CURLcode result, const ServerCheck& server) {
    if (result == CURLE_ABORTED_BY_CALLBACK && !server.refusal.empty())
        return server.refusal;
    return Widen(curl_easy_strerror(result));
}

// One attempt's state, shared with libcurl's callbacks.
struct Attempt {
    CURL* curl = nullptr;
    FILE* file = nullptr;
    std::wstring infoPath;
    std::string url;
    ServerCheck server;
    PartInfo part;            // what the file holds when offset > 0
    std::uint64_t offset = 0; // bytes kept from before, asked to be continued
    // The current response's headers; a redirect's are dropped at the next.
    std::string etag, lastModified, contentRange, retryAfter;
    bool decided = false;          // the current response's body has been judged
    bool writing = false;          // ... and goes into the file
    bool appending = false;        // ... after the kept bytes
    bool refetch = false;          // the answer to a resume calls for starting over
    bool infoKept = false;         // <name>.part.info describes the file's bytes
    curl_off_t now = 0, total = 0; // of the current response's body
};

bool DeleteIfThere(const std::wstring& path) {
    return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    FILE* opened = _wfsopen(path.c_str(), L"wb", _SH_DENYRW);
    if (!opened)
        return false;
    ScopedFile file(opened);
    bool written = fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return file.close() && written;
}

std::string ReadSmallFile(const std::wstring& path, size_t limit) {
    FILE* opened = _wfsopen(path.c_str(), L"rb", _SH_DENYWR);
    if (!opened)
        return {};
    ScopedFile file(opened);
    std::string bytes(limit + 1, '\0');
    bytes.resize(fread(&bytes[0], 1, bytes.size(), file.get()));
    return bytes;
}

// The size of a file, or -1 when there is none.
long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return static_cast<long long>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                                  data.nFileSizeLow);
}

// The first body bytes of a response decide where its body goes.
bool DecideBody(Attempt& a) {
    a.decided = true;
    long status = 0;
    curl_easy_getinfo(a.curl, CURLINFO_RESPONSE_CODE, &status);
    if (a.offset > 0) {
        if (status == 206 || status == 416) {
            if (JudgeRangeAnswer(status, a.contentRange, a.offset, a.part.length) ==
                RangeAnswer::Append) {
                a.writing = a.appending = true;
                return true;
            }
            a.refetch = true;
            return false;
        }
        if (status != 200)
            return true; // an error answer; the kept bytes wait for the next attempt
        // The file changed since the kept bytes came: its whole body follows.
        a.infoKept = !DeleteIfThere(a.infoPath);
        if (fflush(a.file) != 0 || _chsize_s(_fileno(a.file), 0) != 0 ||
            _fseeki64(a.file, 0, SEEK_SET) != 0)
            return false;
        a.offset = 0;
        Logger::Write(L"INFO", L"The file changed on the server; downloading it from the start");
    }
    if (status != 200)
        return true; // an error body is not the file
    a.writing = true;
    curl_off_t length = -1;
    curl_easy_getinfo(a.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    Validator validator = ChooseValidator(a.etag, a.lastModified);
    if (length > 0 && !validator.value.empty()) {
        PartInfo info{a.url, validator.value, validator.isEtag, static_cast<std::uint64_t>(length)};
        a.infoKept = WriteWholeFile(a.infoPath, FormatPartInfo(info));
    }
    return true;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    Attempt& a = *static_cast<Attempt*>(user);
    const size_t bytes = size * count;
    if (!a.decided && !DecideBody(a))
        return 0; // ends the transfer
    if (!a.writing)
        return bytes;
    return WriteDownloadData(data, size, count, a.file);
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    Attempt& a = *static_cast<Attempt*>(user);
    const std::string_view line(data, size * count);
    if (line.substr(0, 5) == "HTTP/") {
        a.etag.clear();
        a.lastModified.clear();
        a.contentRange.clear();
        a.retryAfter.clear();
        a.decided = a.writing = a.appending = false;
    } else if (auto v = HeaderValue(line, "etag")) {
        a.etag = std::string(*v);
    } else if (auto v = HeaderValue(line, "last-modified")) {
        a.lastModified = std::string(*v);
    } else if (auto v = HeaderValue(line, "content-range")) {
        a.contentRange = std::string(*v);
    } else if (auto v = HeaderValue(line, "retry-after")) {
        a.retryAfter = std::string(*v);
    }
    return size * count;
}

int OnProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
    Attempt& a = *static_cast<Attempt*>(user);
    a.total = dltotal;
    a.now = dlnow;
    return 0;
}

// Every option the transfer's safety or progress rests on must take: a
// refused one ends the attempt before any request.
template <typename T> bool Set(CURL* curl, CURLoption option, T value, const wchar_t* name) {
    if (curl_easy_setopt(curl, option, value) == CURLE_OK)
        return true;
    Logger::Write(L"ERROR", std::wstring(L"Failed to set download option: ") + name);
    return false;
}

// The options every request of the program rests on, the file's and its
// signature's alike.
bool SetTransferOptions(CURL* curl, const char* url, ServerCheck& server) {
    server.curl = curl;
    return Set(curl, CURLOPT_URL, url, L"URL") &&
           Set(curl, CURLOPT_FOLLOWLOCATION, 1L, L"FOLLOWLOCATION") &&
           // The launcher runs what arrives here, so only a server that
           // proves who it is may supply it, and never over plain http,
           // redirects included.
           Set(curl, CURLOPT_SSL_VERIFYPEER, 1L, L"SSL_VERIFYPEER") &&
           Set(curl, CURLOPT_SSL_VERIFYHOST, 2L, L"SSL_VERIFYHOST") &&
           Set(curl, CURLOPT_USERAGENT, kUserAgent, L"USERAGENT") &&
           // Players behind networks that block revocation servers must
           // still get in.
           Set(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT),
               L"SSL_OPTIONS") &&
           // A CA file (test builds, operators who pin their own) takes
           // libcurl's own check; without one the system's roots decide.
           (kCaFile[0] != '\0'
                ? Set(curl, CURLOPT_CAINFO, kCaFile, L"CAINFO")
                : Set(curl, CURLOPT_PREREQFUNCTION, CheckServerBeforeRequest, L"PREREQFUNCTION") &&
                      Set(curl, CURLOPT_PREREQDATA, &server, L"PREREQDATA")) &&
           Set(curl, CURLOPT_PROTOCOLS_STR, "https", L"PROTOCOLS_STR") &&
           Set(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https", L"REDIR_PROTOCOLS_STR") &&
           // Without limits a dead server or a redirect loop would hang
           // the launcher.
           Set(curl, CURLOPT_MAXREDIRS, kMaxRedirects, L"MAXREDIRS") &&
           Set(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds, L"CONNECTTIMEOUT") &&
           Set(curl, CURLOPT_LOW_SPEED_LIMIT, 1L, L"LOW_SPEED_LIMIT") &&
           Set(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds, L"LOW_SPEED_TIME");
}

bool SetOptions(CURL* curl, Attempt& a, curl_slist* headers, const std::string& range) {
    bool ok = SetTransferOptions(curl, a.url.c_str(), a.server) &&
              Set(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes, L"BUFFERSIZE") &&
              Set(curl, CURLOPT_WRITEFUNCTION, OnBody, L"WRITEFUNCTION") &&
              Set(curl, CURLOPT_WRITEDATA, &a, L"WRITEDATA") &&
              Set(curl, CURLOPT_HEADERFUNCTION, OnHeader, L"HEADERFUNCTION") &&
              Set(curl, CURLOPT_HEADERDATA, &a, L"HEADERDATA") &&
              Set(curl, CURLOPT_XFERINFOFUNCTION, OnProgress, L"XFERINFOFUNCTION") &&
              Set(curl, CURLOPT_XFERINFODATA, &a, L"XFERINFODATA") &&
              Set(curl, CURLOPT_NOPROGRESS, 0L, L"NOPROGRESS");
    if (ok && !range.empty())
        ok = Set(curl, CURLOPT_RANGE, range.c_str(), L"RANGE") &&
             Set(curl, CURLOPT_HTTPHEADER, headers, L"HTTPHEADER");
    return ok;
}

// Tells the caller how far the file has come.
void Tick(const Attempt& a, const DownloadProgress& progress) {
    if (!progress)
        return;
    const std::uint64_t base = a.appending ? a.offset : 0;
    const std::uint64_t now = a.writing && a.now > 0 ? static_cast<std::uint64_t>(a.now) : 0;
    const std::uint64_t total = a.writing && a.total > 0 ? static_cast<std::uint64_t>(a.total) : 0;
    progress(base + now, total ? base + total : 0);
}

// Runs the transfer on the multi interface so that the caller hears from it
// every few tens of milliseconds even while no byte arrives; libcurl's own
// loop would only wake once a second.
CURLcode Perform(CURL* curl, const std::function<void()>& tick) {
    ScopedCurlMulti multi(curl);
    if (!multi.get())
        return CURLE_OUT_OF_MEMORY;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK)
            return CURLE_RECV_ERROR;
        tick();
        if (running && curl_multi_poll(multi.get(), nullptr, 0, kTickMs, nullptr) != CURLM_OK)
            return CURLE_RECV_ERROR;
    }
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left))
        if (msg->msg == CURLMSG_DONE)
            return msg->data.result;
    return CURLE_RECV_ERROR;
}

// Waits before a retry, telling the caller all along where the file stands.
void WaitTicking(DWORD ms, const DownloadProgress& progress, std::uint64_t received,
                 std::uint64_t expected) {
    const DWORD start = GetTickCount();
    for (DWORD waited = 0; waited < ms; waited = GetTickCount() - start) {
        if (!progress) {
            Sleep(ms - waited);
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min(kTickMs, ms - waited), QS_ALLINPUT);
        progress(received, expected);
    }
}

// Puts the finished download in place; a crash before this leaves at most a
// stray .part file, never a truncated target.
bool MoveIntoPlace(const std::wstring& partial, const std::wstring& path) {
    if (MoveFileExW(partial.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DWORD error = GetLastError();
    Logger::Write(L"ERROR", L"Failed to move download into place: " + path + L" (error " +
                                std::to_wstring(error) + L")");
    return false;
}

struct SignatureBody {
    CURL* curl = nullptr;
    std::string text;
    ServerCheck server;
};

// Collects a signature file's body, refusing one larger than a signature; an
// error answer's body is dropped.
size_t OnSignatureBody(char* data, size_t size, size_t count, void* user) {
    SignatureBody& body = *static_cast<SignatureBody*>(user);
    const size_t bytes = size * count;
    long status = 0;
    curl_easy_getinfo(body.curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200)
        return bytes;
    if (bytes > kMaxMinisigBytes + 1 - body.text.size())
        return 0; // ends the transfer
    body.text.append(data, bytes);
    return bytes;
}

// Fetches the file's signature from beside it into memory, telling the caller
// the file's own figures meanwhile. False with the reason.
bool FetchSignature(const std::string& url, const DownloadProgress& progress, std::uint64_t size,
                    std::string& text, std::wstring& reason) {
    ScopedCurl curl;
    SignatureBody body;
    body.curl = curl.get();
    if (!curl.get() || !SetTransferOptions(curl.get(), url.c_str(), body.server) ||
        !Set(curl.get(), CURLOPT_WRITEFUNCTION, OnSignatureBody, L"WRITEFUNCTION") ||
        !Set(curl.get(), CURLOPT_WRITEDATA, &body, L"WRITEDATA")) {
        reason = L"signature not requested";
        return false;
    }
    const CURLcode result = Perform(curl.get(), [&] {
        if (progress)
            progress(size, size);
    });
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (result == CURLE_WRITE_ERROR) {
        reason = L"signature file too large";
        return false;
    }
    if (result != CURLE_OK || status != 200) {
        reason = L"no signature (HTTP code " + std::to_wstring(status) + L", " +
                 TransferError(result, body.server) + L")";
        return false;
    }
    text = std::move(body.text);
    return true;
}

// The file's name without its folders, as the signature's trusted comment
// must name it.
std::string FileName(const std::wstring& path) {
    return ToUtf8(SplitAtLastSeparator(path, Separators::Either).name);
}

// With a built-in key, the whole part must carry the publisher's signature,
// fetched from the same server as the file.
bool SignatureHolds(const std::wstring& path, const std::wstring& partial, const std::string& url,
                    const DownloadProgress& progress) {
    if (kSigningKey[0] == '\0')
        return true;
    std::string sigText;
    std::wstring reason;
    const long long size = FileSize(partial);
    if (FetchSignature(url + ".minisig", progress, size > 0 ? static_cast<std::uint64_t>(size) : 0,
                       sigText, reason) &&
        VerifyFileSignature(partial, sigText, FileName(path), kSigningKey, reason))
        return true;
    Logger::Write(L"ERROR", L"Signature check failed: " + path + L" (" + reason + L")");
    return false;
}

enum class Outcome { Done, Failed, Retry, StartOver };

// One request. Leaves the part and its info as the next attempt needs them.
Outcome RunAttempt(const std::wstring& path, const std::wstring& partial,
                   const std::string& narrowUrl, const DownloadProgress& progress,
                   std::string& retryAfter) {
    Attempt a;
    a.url = narrowUrl;
    a.infoPath = partial + L".info";

    // A kept part is continued only when its info says how, for this URL.
    const long long kept = FileSize(partial);
    if (kept > 0) {
        auto info = ParsePartInfo(ReadSmallFile(a.infoPath, 8192));
        if (info && static_cast<std::uint64_t>(kept) < info->length &&
            MayResumeFrom(*info, narrowUrl)) {
            a.part = *info;
            a.offset = static_cast<std::uint64_t>(kept);
            a.infoKept = true;
        }
    }
    if (a.offset == 0)
        DeleteIfThere(a.infoPath); // a stale leftover: fetched from zero

    ScopedCurl curl;
    if (!curl.get()) {
        Logger::Write(L"ERROR", L"Failed to initialize CURL");
        return Outcome::Failed;
    }
    a.curl = curl.get();
    // Exclusive: a second copy of the program must not write into it too.
    FILE* opened = _wfsopen(partial.c_str(), a.offset ? L"r+b" : L"wb", _SH_DENYRW);
    if (!opened) {
        Logger::Write(L"ERROR", L"Failed to open file for writing: " + path);
        return Outcome::Failed;
    }
    ScopedFile stream(opened);
    a.file = stream.get();
    if (a.offset && (_fseeki64(a.file, 0, SEEK_END) != 0 ||
                     _ftelli64(a.file) != static_cast<long long>(a.offset))) {
        stream.close();
        DeleteIfThere(a.infoPath);
        DeleteIfThere(partial);
        return Outcome::StartOver;
    }
    // The CRT's own 4 KiB buffer would make a system call of each piece
    // libcurl hands over. A failed setvbuf keeps the default.
    setvbuf(a.file, nullptr, _IOFBF, kWriteBufferBytes);

    ScopedCurlList headers;
    std::string range;
    if (a.offset) {
        range = std::to_string(a.offset) + "-";
        if (!headers.append(("If-Range: " + a.part.validator).c_str())) {
            Logger::Write(L"ERROR", L"Failed to initialize CURL");
            return Outcome::Failed;
        }
        Logger::Write(L"INFO", L"Resuming download at byte " + std::to_wstring(a.offset));
    }
    if (!SetOptions(curl.get(), a, headers.get(), range)) {
        stream.close();
        if (!a.offset)
            DeleteIfThere(partial);
        return Outcome::Failed;
    }

    CURLcode result = Perform(a.curl, [&] { Tick(a, progress); });
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    // A failed close means the last buffered bytes never reached the disk.
    bool closed = stream.close();
    retryAfter = a.retryAfter;
    // A 416 comes without a body, so no body decided it.
    if (a.offset && status == 416)
        a.refetch = true;

    if (a.refetch) {
        Logger::Write(L"INFO", L"The server cannot continue the download; starting from zero");
        DeleteIfThere(a.infoPath);
        DeleteIfThere(partial);
        return Outcome::StartOver;
    }
    // A continued file must come to exactly the length its first response
    // promised; a fresh one libcurl holds to its Content-Length.
    const bool whole = DownloadSucceeded(result, status, closed, a.appending) &&
                       (!a.appending || FileSize(partial) == static_cast<long long>(a.part.length));
    if (whole) {
        if (SignatureHolds(path, partial, narrowUrl, progress) && MoveIntoPlace(partial, path)) {
            DeleteIfThere(a.infoPath);
            Logger::Write(L"INFO", L"Download successful");
            return Outcome::Done;
        }
    } else {
        Logger::Write(L"ERROR", L"Download failed with HTTP code: " + std::to_wstring(status));
        if (result != CURLE_OK)
            Logger::Write(L"ERROR", L"Transfer error: " + TransferError(result, a.server));
        else if (!closed)
            Logger::Write(L"ERROR", L"Failed to write the download to disk: " + path);
        if (closed && IsTransientFailure(result, status)) {
            // Kept only when the next attempt can ask for the rest.
            if (!a.infoKept || FileSize(partial) <= 0) {
                DeleteIfThere(a.infoPath);
                DeleteIfThere(partial);
            }
            return Outcome::Retry;
        }
    }
    DeleteIfThere(a.infoPath);
    DeleteIfThere(partial);
    return Outcome::Failed;
}

} // namespace

std::size_t WriteDownloadData(char* data, std::size_t size, std::size_t count, void* stream) {
    return fwrite(data, size, count, static_cast<FILE*>(stream));
}

bool DownloadFile(const std::wstring& url, const std::wstring& path,
                  const DownloadProgress& progress) {
    std::string narrowUrl = ToUtf8(url);
    Logger::Write(L"INFO", L"Downloading from: " + url);
    Logger::Write(L"INFO", L"Saving to: " + path);
    const std::wstring partial = PartialPath(path);
    // The last figures told, so a wait for a retry shows them still.
    std::uint64_t received = 0, expected = 0;
    DownloadProgress told;
    if (progress)
        told = [&](std::uint64_t r, std::uint64_t e) {
            received = r;
            expected = e;
            progress(r, e);
        };

    bool startedOver = false;
    for (int attempt = 1; attempt <= kAttemptsPerServer;) {
        std::string retryAfter;
        switch (RunAttempt(path, partial, narrowUrl, told, retryAfter)) {
        case Outcome::Done:
            return true;
        case Outcome::Failed:
            return false;
        case Outcome::StartOver:
            // Once per call: the fresh request is not counted as a retry.
            if (startedOver)
                return false;
            startedOver = true;
            continue;
        case Outcome::Retry:
            if (attempt == kAttemptsPerServer)
                return false;
            const DWORD wait = RetryDelayMs(attempt, RetryAfterSeconds(retryAfter));
            Logger::Write(L"INFO", L"Retrying in " + std::to_wstring(wait / 1000) + L" s");
            WaitTicking(wait, told, received, expected);
            ++attempt;
            continue;
        }
    }
    return false;
}
