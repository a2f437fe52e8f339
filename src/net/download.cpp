// One HTTPS download into one file. The body goes to <name>.part and replaces
// the file only when it is whole; a transfer that breaks off keeps its part
// (with <name>.part.info, what is needed to ask for the rest), and the next
// attempt asks for the rest only. Transient failures are tried again on the
// same server, and the caller hears of the progress many times a second.
#include "net/net.h"
#include "net/attempt.h"
#include "net/part_file.h"
#include "net/proxy/proxy.h"
#include "net/transfer.h"
#include "frame.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace {

const int kAttemptsPerServer = 3;

// Waits before a retry, telling the caller all along where the file stands.
void WaitTicking(DWORD ms, const DownloadProgress& progress, std::uint64_t received,
                 std::uint64_t expected) {
    const DWORD start = GetTickCount();
    for (DWORD waited = 0; waited < ms; waited = GetTickCount() - start) {
        if (!progress) {
            Sleep(ms - waited);
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(kFrameMs, ms - waited),
                                  QS_ALLINPUT);
        progress(received, expected);
    }
}

} // namespace

std::size_t WriteDownloadData(char* data, std::size_t size, std::size_t count, void* stream) {
    return fwrite(data, size, count, static_cast<FILE*>(stream));
}

bool DownloadFile(const std::wstring& url, const std::wstring& path,
                  const DownloadProgress& progress, DownloadFailure* why) {
    DownloadFailure unused;
    DownloadFailure& failure = why ? *why : unused;
    const std::string narrowUrl = ToUtf8(url);
    Logger::Write(L"INFO", L"Downloading from: " + url);
    Logger::Write(L"INFO", L"Saving to: " + path);
    PartFile part(path);
    // The last figures told, so a wait for a retry shows them still.
    std::uint64_t received = 0, expected = 0;
    DownloadProgress told;
    if (progress)
        told = [&](std::uint64_t r, std::uint64_t e) {
            received = r;
            expected = e;
            progress(r, e);
        };

    bool startedOver = false;
    bool direct = false; // tried direct once after its proxy failed
    for (int attempt = 1; attempt <= kAttemptsPerServer;) {
        std::string retryAfter;
        failure = DownloadFailure();
        switch (RunAttempt(part, narrowUrl, told, retryAfter, failure)) {
        case Outcome::Done:
            return true;
        case Outcome::Failed:
            if (TakeDirectRetry(narrowUrl)) {
                direct = true;
                continue;
            }
            return false;
        case Outcome::StartOver:
            // Once per call: the fresh request is not counted as a retry.
            if (startedOver)
                return false;
            startedOver = true;
            continue;
        case Outcome::Retry:
            if (TakeDirectRetry(narrowUrl)) {
                direct = true;
                continue;
            }
            if (attempt == kAttemptsPerServer || direct)
                return false;
            const DWORD wait = RetryDelayMs(attempt, RetryAfterSeconds(retryAfter));
            Logger::Write(L"INFO", L"Retrying in " + std::to_wstring(wait / 1000) + L" s");
            WaitTicking(wait, told, received, expected);
            ++attempt;
            continue;
        }
    }
    return false;
}
