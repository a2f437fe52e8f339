// Log line layout and its single-byte form on disk.
#include "log/log_line.h"

#include <cstdio>

std::wstring FormatLogLine(const std::wstring& level, const std::wstring& message,
                           const std::tm& t) {
    wchar_t stamp[64];
    std::swprintf(stamp, sizeof stamp / sizeof stamp[0], L"%04d-%02d-%02d %02d:%02d:%02d",
                  t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    std::wstring line;
    line.reserve(level.size() + message.size() + 32);
    line += L"[";
    line += level;
    line += L"] ";
    line += stamp;
    line += L" - ";
    line += message;
    return line;
}

std::string LogLineBytes(const std::wstring& line) {
    std::string bytes;
    bytes.reserve(line.size());
    for (wchar_t c : line)
        bytes += static_cast<unsigned>(c) <= 0xFF ? static_cast<char>(c) : '?';
    return bytes;
}
