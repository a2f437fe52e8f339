// Line splitting and joining of patchlist.txt.
#include "patch/patch_text.h"

#include <algorithm>

namespace {

// Each byte becomes the character of the same value; the string is made at
// its final length, as a list can hold hundreds of thousands of entries.
std::wstring Widen(const std::string& bytes, size_t from, size_t to) {
    std::wstring line(to - from, L'\0');
    for (size_t i = from; i < to; ++i)
        line[i - from] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
    return line;
}

} // namespace

std::vector<std::wstring> SplitPatchListBytes(const std::string& bytes) {
    std::vector<std::wstring> lines;
    lines.reserve(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        // Text mode folds CR LF into LF; any other CR stays.
        const size_t stop = end > start && bytes[end - 1] == '\r' ? end - 1 : end;
        lines.push_back(Widen(bytes, start, stop));
    }
    if (start < bytes.size())
        lines.push_back(Widen(bytes, start, bytes.size()));
    return lines;
}

std::string PatchListBytes(const std::vector<std::wstring>& entries) {
    size_t size = 0;
    for (const auto& entry : entries)
        size += entry.size() + 2;
    std::string bytes;
    bytes.reserve(size);
    for (const auto& entry : entries) {
        // Entries come from single bytes, so every character fits in one.
        for (wchar_t c : entry)
            bytes += static_cast<char>(static_cast<unsigned char>(c));
        bytes += "\r\n";
    }
    return bytes;
}
