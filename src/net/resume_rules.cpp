// Resume and retry decisions of a download.
#include "net/resume_rules.h"

#include <limits>

namespace {

const std::string_view kInfoMagic = "velmora-part 1\n";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits only, no sign or blanks, no overflow.
std::optional<std::uint64_t> ParseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 20)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// A value that fits one header line and one info line: printable ASCII.
bool IsPlainValue(std::string_view text) {
    if (text.empty() || text.size() > 2048)
        return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            return false;
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Takes "key value\n" off the front of text.
std::optional<std::string_view> TakeLine(std::string_view& text, std::string_view key) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos || text.substr(0, key.size()) != key || end <= key.size() ||
        text[key.size()] != ' ')
        return std::nullopt;
    std::string_view value = text.substr(key.size() + 1, end - key.size() - 1);
    text.remove_prefix(end + 1);
    return value;
}

} // namespace

std::string FormatPartInfo(const PartInfo& info) {
    return std::string(kInfoMagic) + "url " + info.url + "\nlength " + std::to_string(info.length) +
           "\n" + (info.validatorIsEtag ? "etag " : "date ") + info.validator + "\n";
}

std::optional<PartInfo> ParsePartInfo(std::string_view text) {
    if (text.size() > kMaxPartInfoBytes || text.substr(0, kInfoMagic.size()) != kInfoMagic)
        return std::nullopt;
    text.remove_prefix(kInfoMagic.size());
    PartInfo info;
    auto url = TakeLine(text, "url");
    auto length = TakeLine(text, "length");
    if (!url || !length || !IsPlainValue(*url))
        return std::nullopt;
    auto bytes = ParseDecimal(*length);
    if (!bytes || *bytes == 0 || (*length)[0] == '0')
        return std::nullopt;
    std::optional<std::string_view> validator = TakeLine(text, "etag");
    info.validatorIsEtag = validator.has_value();
    if (!validator)
        validator = TakeLine(text, "date");
    if (!validator || !IsPlainValue(*validator) || !text.empty())
        return std::nullopt;
    info.url = std::string(*url);
    info.length = *bytes;
    info.validator = std::string(*validator);
    return info;
}

std::optional<ContentRange> ParseContentRange(std::string_view value) {
    value = Trim(value);
    if (value.substr(0, 6) != "bytes ")
        return std::nullopt;
    value.remove_prefix(6);
    const std::size_t dash = value.find('-');
    const std::size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return std::nullopt;
    auto first = ParseDecimal(value.substr(0, dash));
    auto last = ParseDecimal(value.substr(dash + 1, slash - dash - 1));
    auto complete = ParseDecimal(value.substr(slash + 1));
    if (!first || !last || !complete || *first > *last || *last >= *complete)
        return std::nullopt;
    return ContentRange{*first, *last, *complete};
}

Validator ChooseValidator(std::string_view etag, std::string_view lastModified) {
    etag = Trim(etag);
    lastModified = Trim(lastModified);
    if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"' && IsPlainValue(etag) &&
        etag.substr(1, etag.size() - 2).find('"') == std::string_view::npos)
        return {std::string(etag), true};
    if (IsPlainValue(lastModified))
        return {std::string(lastModified), false};
    return {};
}

bool MayResumeFrom(const PartInfo& info, std::string_view url) {
    return info.validatorIsEtag || info.url == url;
}

RangeAnswer JudgeRangeAnswer(long status, std::string_view contentRange, std::uint64_t offset,
                             std::uint64_t length) {
    if (status == 200)
        return RangeAnswer::Restart;
    if (status != 206)
        return RangeAnswer::Refetch;
    auto range = ParseContentRange(contentRange);
    if (!range || range->first != offset || range->complete != length || range->last != length - 1)
        return RangeAnswer::Refetch;
    return RangeAnswer::Append;
}

bool IsInterruption(int curlResult) {
    switch (curlResult) {
    case kCurlPartialFile:
    case kCurlOperationTimedOut:
    case kCurlGotNothing:
    case kCurlSendError:
    case kCurlRecvError:
        return true;
    default:
        return false;
    }
}

bool IsTransientFailure(int curlResult, long status) {
    if (curlResult == kCurlOk) {
        switch (status) {
        case 408:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            return false;
        }
    }
    return curlResult == kCurlCouldntResolveHost || curlResult == kCurlCouldntConnect ||
           IsInterruption(curlResult);
}

FetchFailure FailureOfRequest(int curlResult, long status) {
    switch (curlResult) {
    case kCurlOk:
        // A 4xx but a request time-out or a rate limit: the server has no
        // such file for us; the rest is the server failing.
        return status >= 400 && status < 500 && status != 408 && status != 429
                   ? FetchFailure::NotOnServer
                   : FetchFailure::ServerFault;
    case kCurlSslConnectError:
    case kCurlPeerFailedVerification:
        return FetchFailure::Intercepted;
    case kCurlUnsupportedProtocol: // sent to plain http
    case kCurlTooManyRedirects:
        return FetchFailure::ServerFault;
    case kCurlWriteError:
        return FetchFailure::NotWritable;
    default:
        return FetchFailure::NoConnection;
    }
}

long RetryAfterSeconds(std::string_view value) {
    auto seconds = ParseDecimal(Trim(value));
    if (!seconds || *seconds > 86400)
        return -1;
    return static_cast<long>(*seconds);
}

unsigned RetryDelayMs(int retry, long retryAfterSeconds) {
    if (retryAfterSeconds >= 0 && retryAfterSeconds <= 10)
        return static_cast<unsigned>(retryAfterSeconds) * 1000;
    return retry <= 1 ? 1000 : 2000;
}

std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon != name.size())
        return std::nullopt;
    for (std::size_t i = 0; i < colon; ++i) {
        char a = line[i], b = name[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return std::nullopt;
    }
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
        value.remove_suffix(1);
    return Trim(value);
}
