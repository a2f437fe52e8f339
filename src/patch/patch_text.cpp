// Line splitting and joining of patchlist.txt, and its two encodings.
#include "patch/patch_text.h"

#include <algorithm>

namespace {

const std::string_view kMark = "\xEF\xBB\xBF";
const std::string_view kMarkLe = "\xFF\xFE", kMarkBe = "\xFE\xFF";

bool IsUtf16(PatchListEncoding encoding) {
    return encoding == PatchListEncoding::Utf16Le || encoding == PatchListEncoding::Utf16Be;
}

// The length of the well-formed UTF-8 sequence at bytes[at], or 0.
size_t Utf8SequenceLength(std::string_view bytes, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || bytes.size() - at < length)
        return 0;
    // The second byte's range rules out overlong forms, surrogates and code
    // points past U+10FFFF.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    return length;
}

// A line's bytes as UTF-16; the string is made at most at its final length, as
// a list can hold hundreds of thousands of entries.
std::wstring Widen(std::string_view bytes, bool utf8) {
    std::wstring line(bytes.size(), L'\0');
    size_t out = 0;
    for (size_t at = 0; at < bytes.size();) {
        // A byte that starts no sequence stays one character, whatever it was
        // asked for.
        const size_t length = utf8 ? std::max<size_t>(Utf8SequenceLength(bytes, at), 1) : 1;
        unsigned long code = static_cast<unsigned char>(bytes[at]);
        if (length > 1)
            code &= 0x7F >> length;
        for (size_t i = 1; i < length; ++i)
            code = code << 6 | (static_cast<unsigned char>(bytes[at + i]) & 0x3F);
        if (code >= 0x10000) {
            line[out++] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            code = 0xDC00 + (code & 0x3FF);
        }
        line[out++] = static_cast<wchar_t>(code);
        at += length;
    }
    line.resize(out);
    return line;
}

// The UTF-16 units of bytes (the mark removed), an odd last byte padded.
std::wstring Utf16Units(std::string_view bytes, bool bigEndian) {
    std::wstring units((bytes.size() + 1) / 2, L'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        const unsigned first = static_cast<unsigned char>(bytes[2 * i]);
        const unsigned second =
            2 * i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[2 * i + 1]) : 0;
        units[i] = static_cast<wchar_t>(bigEndian ? first << 8 | second : second << 8 | first);
    }
    return units;
}

std::vector<std::wstring> SplitUtf16(std::string_view bytes, bool bigEndian) {
    const std::wstring units = Utf16Units(bytes, bigEndian);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = units.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        const size_t stop = end > start && units[end - 1] == L'\r' ? end - 1 : end;
        lines.push_back(units.substr(start, stop - start));
    }
    if (start < units.size())
        lines.push_back(units.substr(start));
    return lines;
}

void AppendUtf16(std::string& bytes, std::wstring_view text, bool bigEndian) {
    for (wchar_t c : text) {
        const unsigned unit = static_cast<unsigned>(c) & 0xFFFF;
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
}

void AppendUtf8(std::string& bytes, const std::wstring& entry) {
    for (size_t i = 0; i < entry.size(); ++i) {
        unsigned long code = static_cast<unsigned long>(entry[i]) & 0xFFFF;
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < entry.size() && entry[i + 1] >= 0xDC00 &&
            entry[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (entry[++i] - 0xDC00);
        const int tail = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
        const unsigned char leads[] = {0x00, 0xC0, 0xE0, 0xF0};
        bytes += static_cast<char>(leads[tail] | (code >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k)
            bytes += static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F));
    }
}

} // namespace

PatchListEncoding PatchListEncodingOf(std::string_view bytes) {
    if (bytes.substr(0, 2) == kMarkLe)
        return PatchListEncoding::Utf16Le;
    if (bytes.substr(0, 2) == kMarkBe)
        return PatchListEncoding::Utf16Be;
    const bool marked = bytes.substr(0, kMark.size()) == kMark;
    bool ascii = true;
    for (size_t at = 0, length; at < bytes.size(); at += length) {
        if ((length = Utf8SequenceLength(bytes, at)) == 0)
            return PatchListEncoding::SingleByte;
        ascii = ascii && length == 1;
    }
    return marked  ? PatchListEncoding::Utf8WithMark
           : ascii ? PatchListEncoding::SingleByte
                   : PatchListEncoding::Utf8;
}

std::vector<std::wstring> SplitPatchListBytes(std::string_view bytes, PatchListEncoding encoding) {
    if (IsUtf16(encoding))
        return SplitUtf16(bytes.substr(2), encoding == PatchListEncoding::Utf16Be);
    if (encoding == PatchListEncoding::Utf8WithMark)
        bytes.remove_prefix(kMark.size());
    const bool utf8 = encoding != PatchListEncoding::SingleByte;
    std::vector<std::wstring> lines;
    lines.reserve(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string_view::npos; start = end + 1) {
        // Text mode folds CR LF into LF; any other CR stays.
        const size_t stop = end > start && bytes[end - 1] == '\r' ? end - 1 : end;
        lines.push_back(Widen(bytes.substr(start, stop - start), utf8));
    }
    if (start < bytes.size())
        lines.push_back(Widen(bytes.substr(start), utf8));
    return lines;
}

std::string PatchListBytes(const std::vector<std::wstring>& entries, PatchListEncoding encoding) {
    size_t size = kMark.size();
    for (const auto& entry : entries)
        size += entry.size() + 2;
    std::string bytes;
    if (IsUtf16(encoding)) {
        const bool bigEndian = encoding == PatchListEncoding::Utf16Be;
        bytes.reserve(2 * size);
        bytes += bigEndian ? kMarkBe : kMarkLe;
        for (const auto& entry : entries) {
            AppendUtf16(bytes, entry, bigEndian);
            AppendUtf16(bytes, L"\r\n", bigEndian);
        }
        return bytes;
    }
    bytes.reserve(size);
    // A list read without the mark whose first entry now starts with U+FEFF
    // needs one, or the next read would take that character for the mark.
    if (encoding == PatchListEncoding::Utf8WithMark ||
        (encoding == PatchListEncoding::Utf8 && !entries.empty() && !entries.front().empty() &&
         entries.front().front() == 0xFEFF))
        bytes += kMark;
    for (const auto& entry : entries) {
        if (encoding == PatchListEncoding::SingleByte) {
            // Entries read a byte at a time: every character fits in one.
            for (wchar_t c : entry)
                bytes += static_cast<char>(static_cast<unsigned char>(c));
        } else {
            AppendUtf8(bytes, entry);
        }
        bytes += "\r\n";
    }
    return bytes;
}
