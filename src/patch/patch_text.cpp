// Line splitting and joining of patchlist.txt.
#include "patch/patch_text.h"

std::vector<std::wstring> SplitPatchListBytes(const std::string& bytes) {
    std::vector<std::wstring> lines;
    std::wstring line;
    bool open = false; // characters seen since the last line end
    const size_t size = bytes.size();
    for (size_t i = 0; i < size; ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b == '\r' && i + 1 < size && bytes[i + 1] == '\n')
            continue; // text mode folds CR LF into LF
        if (b == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            open = false;
            continue;
        }
        line += static_cast<wchar_t>(b);
        open = true;
    }
    if (open)
        lines.push_back(std::move(line));
    return lines;
}

std::string PatchListBytes(const std::vector<std::wstring>& entries) {
    std::string bytes;
    for (const auto& entry : entries) {
        // Entries come from single bytes, so every character fits in one.
        for (wchar_t c : entry)
            bytes += static_cast<char>(static_cast<unsigned char>(c));
        bytes += "\r\n";
    }
    return bytes;
}
