// The responses of one attempt, as libcurl hands them over.
#include "net/response.h"
#include "net/transfer.h"
#include "long_path.h"

#include <windows.h>
#include <io.h>

#include <cerrno>
#include <limits>

namespace {

// A runtime file larger than this is no game's executable or library: a
// broken or hostile server is sending it.
const std::uint64_t kCeilingBytes = std::uint64_t{UPDATER_MAX_FILE_MIB} << 20;
// Left free on the player's drive, so a download never fills the drive the
// system and every other program need.
const std::uint64_t kReserveBytes = std::uint64_t{UPDATER_DISK_RESERVE_MIB} << 20;

// The free bytes above the reserve on the drive of folder; unknown counts as
// plenty.
std::uint64_t RoomAboveReserve(const std::wstring& folder) {
    ULARGE_INTEGER free = {};
    if (!GetDiskFreeSpaceExW(FileSystemPath(folder.empty() ? L"." : folder + L"\\").c_str(), &free,
                             nullptr, nullptr))
        return std::numeric_limits<std::uint64_t>::max();
    return free.QuadPart > kReserveBytes ? free.QuadPart - kReserveBytes : 0;
}

// Whether the body may reach `bytes`.
BodyLimit Judge(const Attempt& a, std::uint64_t bytes) {
    if (bytes > kCeilingBytes || a.before > kCeilingBytes - bytes)
        return BodyLimit::Ceiling;
    if (a.declared >= 0 && bytes > static_cast<std::uint64_t>(a.declared))
        return BodyLimit::Declared;
    return bytes > a.room ? BodyLimit::Reserve : BodyLimit::None;
}

// A body is taken only if what it declares fits: the whole file within the
// ceiling, the body within the room above the reserve. Nothing is written
// of one that does not.
bool AdmitBody(Attempt& a, std::uint64_t before, long long declared) {
    a.before = before;
    a.declared = declared;
    a.written = 0;
    a.room = RoomAboveReserve(a.part.folder());
    a.broken = declared < 0 ? BodyLimit::None : Judge(a, static_cast<std::uint64_t>(declared));
    return a.broken == BodyLimit::None;
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

// A response's headers decide where its body goes, before any of it comes
// (so an empty body is judged too); false ends the transfer.
bool DecideBody(Attempt& a) {
    Response& r = a.response;
    r.body = Body::Dropped;
    if (a.kept && (r.status == 206 || r.status == 416)) {
        const auto answer =
            JudgeRangeAnswer(r.status, r.contentRange, a.kept->bytes, a.kept->info.length);
        r.body = answer == RangeAnswer::Append ? Body::Appended : Body::Refetch;
        if (r.body != Body::Appended ||
            !AdmitBody(a, a.kept->bytes,
                       static_cast<long long>(a.kept->info.length - a.kept->bytes)))
            return false;
        a.hash.Start();
        return a.hash.AddKept(a.file, a.kept->bytes);
    }
    if (r.status != 200)
        return true; // an error body is not the file; kept bytes wait for the next attempt
    curl_off_t length = -1;
    curl_easy_getinfo(a.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (!AdmitBody(a, 0, length) || (a.kept && !StartFromZero(a)))
        return false;
    r.body = Body::Written;
    a.hash.Start();
    Validator validator = ChooseValidator(r.etag, r.lastModified);
    if (length > 0 && !validator.value.empty())
        a.infoKept = a.part.WriteInfo(
            {a.url, validator.value, validator.isEtag, static_cast<std::uint64_t>(length)});
    return true;
}

long StatusOfLine(std::string_view line) {
    const size_t space = line.find(' ');
    long status = 0;
    for (size_t i = space + 1; space != std::string_view::npos && i < line.size() &&
                               i < space + 4 && line[i] >= '0' && line[i] <= '9';
         ++i)
        status = status * 10 + (line[i] - '0');
    return status;
}

} // namespace

bool Writing(Body body) {
    return body == Body::Written || body == Body::Appended;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    Attempt& a = *static_cast<Attempt*>(user);
    const std::string_view line(data, size * count);
    Response& r = a.response;
    if (line.substr(0, 5) == "HTTP/") {
        r = Response();
        r.status = StatusOfLine(line);
    } else if (line == "\r\n" || line == "\n") {
        // A final answer's headers end here; 1xx answers come before one.
        if (r.status >= 200 && r.body == Body::Undecided && !DecideBody(a))
            return 0; // ends the transfer
    } else if (auto v = HeaderValue(line, "etag")) {
        r.etag = std::string(*v);
    } else if (auto v = HeaderValue(line, "last-modified")) {
        r.lastModified = std::string(*v);
    } else if (auto v = HeaderValue(line, "content-range")) {
        r.contentRange = std::string(*v);
    } else if (auto v = HeaderValue(line, "retry-after")) {
        r.retryAfter = std::string(*v);
    }
    return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    Attempt& a = *static_cast<Attempt*>(user);
    if (!Writing(a.response.body))
        return size * count;
    if ((a.broken = Judge(a, a.written + size * count)) != BodyLimit::None)
        return 0; // ends the transfer
    errno = 0;
    const size_t written = WriteDownloadData(data, size, count, a.file);
    if (written != count)
        a.writeErrno = errno;
    a.written += written * size;
    a.hash.Add(data, written * size);
    return written;
}

int OnProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
    Attempt& a = *static_cast<Attempt*>(user);
    a.total = dltotal;
    a.now = dlnow;
    return 0;
}

void ReportBrokenLimit(Attempt& a) {
    const std::wstring target = a.part.target();
    DownloadFailure& f = a.failure;
    switch (a.broken) {
    case BodyLimit::None:
        return;
    case BodyLimit::Ceiling:
        Logger::Write(L"ERROR", L"Refused: " + target + L" would pass " +
                                    std::to_wstring(kCeilingBytes) +
                                    L" bytes, more than any runtime file");
        f.kind = FetchFailure::ServerFault;
        break;
    case BodyLimit::Declared:
        Logger::Write(L"ERROR", L"Refused: the server sent more than the " +
                                    std::to_wstring(a.declared) + L" bytes it declared for " +
                                    target);
        f.kind = FetchFailure::ServerFault;
        break;
    case BodyLimit::Reserve:
        Logger::Write(L"ERROR", L"Refused: " + target + L" would leave less than " +
                                    std::to_wstring(kReserveBytes) + L" bytes free on its drive");
        f = DownloadFailure();
        f.kind = FetchFailure::DiskFull;
        if (a.declared >= 0)
            f.bytesNeeded = static_cast<std::uint64_t>(a.declared) + kReserveBytes;
        f.folder = a.part.folder();
        break;
    }
    // Refused at its declaration a body says nothing against the server; one
    // that goes past what it may write is not transiently broken.
    f.serverBarred = a.written > 0 || a.broken == BodyLimit::Ceiling || a.declared < 0;
}
