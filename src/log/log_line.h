// Building a log line, kept free of <windows.h> so it can be compiled natively.
#pragma once

#include <ctime>
#include <string>

// "[LEVEL] YYYY-MM-DD HH:MM:SS - message", without the line end.
std::wstring FormatLogLine(const std::wstring& level, const std::wstring& message,
                           const std::tm& localTime);

// The bytes stored for a line: U+0000..U+00FF as the byte of the same value,
// anything above as "?", so one odd character never silences the log.
std::string LogLineBytes(const std::wstring& line);
