// How far the popup's bar goes, and how much of a status text fits its buffer.
#include "launch/popup_rules.h"

#include <algorithm>

namespace {

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// A cut after `length` units keeps a surrogate pair whole.
bool IsCharBoundary(std::wstring_view text, std::size_t length) {
    return length == 0 || length >= text.size() ||
           !(IsHighSurrogate(text[length - 1]) && IsLowSurrogate(text[length]));
}

} // namespace

std::size_t FittingPrefixLength(std::wstring_view text, std::size_t maxBytes,
                                const std::function<std::size_t(std::wstring_view)>& bytesOf) {
    // Every character takes a byte at least, so no longer prefix can fit.
    text = text.substr(0, std::min(text.size(), 2 * (maxBytes + 1)));
    if (bytesOf(text) <= maxBytes)
        return text.size();
    // Binary search over prefix lengths for the longest one that fits; a
    // length inside a surrogate pair is moved back to the pair's start.
    std::size_t fits = 0;
    std::size_t low = 1;
    std::size_t high = text.size() - 1;
    while (low <= high) {
        std::size_t mid = low + (high - low) / 2;
        std::size_t cut = IsCharBoundary(text, mid) ? mid : mid - 1;
        if (cut > fits && bytesOf(text.substr(0, cut)) <= maxBytes) {
            fits = cut;
            low = mid + 1;
        } else if (cut <= fits) {
            low = mid + 1;
        } else {
            high = mid - 1;
        }
    }
    return fits;
}

int StepPercent(int from, int to, std::uint64_t received, std::uint64_t expected) {
    if (expected == 0 || to <= from)
        return from;
    if (received >= expected)
        return to;
    const std::uint64_t span = static_cast<std::uint64_t>(to - from);
    // Exact while received * span fits; beyond (exabytes) never more.
    const std::uint64_t part = received <= UINT64_MAX / span ? received * span / expected
                                                             : received / (expected / span + 1);
    return from + static_cast<int>(part < span ? part : span);
}
