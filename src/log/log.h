// The process-wide log writer: one timestamped line per call in velmora.log,
// written only while g_loggingEnabled is set.
#pragma once

#include <string>

using LogLevel = std::wstring;

extern bool g_loggingEnabled;

namespace Logger {
void Write(const LogLevel& level, const std::wstring& message);
}
