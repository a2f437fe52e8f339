// The log stream: opened once, on the first call with logging on, appended to
// in text mode (LF stored as CR LF) and flushed after every line.
#include "log/log.h"
#include "log/log_line.h"
#include "long_path.h"
#include "scoped_win.h"

#include <share.h>
#include <cstdio>
#include <ctime>

bool g_loggingEnabled = false;

namespace Logger {

void Write(const LogLevel& level, const std::wstring& message) {
    if (!g_loggingEnabled)
        return;
    // Opened once; a failed open is not retried. Shared for reading and
    // writing, so a player can watch the log while the program runs.
    static ScopedFile stream(_wfsopen(FileSystemPath(L"velmora.log").c_str(), L"a", _SH_DENYNO));
    if (!stream.get())
        return;

    __time64_t now = _time64(nullptr);
    std::tm local = {};
    _localtime64_s(&local, &now);

    std::string bytes = LogLineBytes(FormatLogLine(level, message, local));
    bytes += '\n';
    fwrite(bytes.data(), 1, bytes.size(), stream.get());
    fflush(stream.get());
}

} // namespace Logger
