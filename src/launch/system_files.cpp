// Making sure the game's runtime files are present before it starts, fetching
// the missing ones under the progress popup.
#include "launch/launch.h"
#include "launch/popup_rules.h"
#include "launch/runtime_files.inc"
#include "net/net.h"
#include "log/log.h"
#include "patch/patch.h"
#include "frame.h"
#include "long_path.h"
#include "scoped_win.h"

#include <iterator>

namespace {

// Each redraw paints the whole popup, text included, which under Wine costs
// milliseconds and slows a fast download; four a second keep the bar moving.
const DWORD kRedrawMs = 250;

// Popup percentage while fetching missing file i (from 0) of n: 10..90.
int DownloadPercent(std::size_t i, std::size_t n) {
    return static_cast<int>(80 * (i + 1) / n) + 10;
}

// Anything at the path counts, a directory too; a link counts by its target.
// Every failed lookup counts as missing: not found is the usual reason, and
// for any other (access denied, say) the download that follows decides. A
// file of no bytes is missing too: what a crash or a power cut most often
// leaves.
bool IsPresent(const std::wstring& path) {
    const std::wstring name = FileSystemPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data))
        return false;
    const DWORD attributes = data.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) || data.nFileSizeHigh || data.nFileSizeLow;
    ScopedHandle target(CreateFileW(name.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return target.valid();
}

} // namespace

std::vector<std::wstring> RequiredSystemFiles(bool native64Bit) {
    // runtime_files.inc: the build's rendering of runtime_files.txt.
    static const wchar_t* const kFiles64[] = {UPDATER_RUNTIME_FILES_64};
    static const wchar_t* const kFiles32[] = {UPDATER_RUNTIME_FILES_32};
    if (native64Bit)
        return {std::begin(kFiles64), std::end(kFiles64)};
    return {std::begin(kFiles32), std::end(kFiles32)};
}

std::vector<std::wstring> GetRequiredSystemFiles() {
    return RequiredSystemFiles(IsNative64Bit());
}

bool EnsureSystemFiles() {
    const std::vector<std::wstring> required = GetRequiredSystemFiles();
    std::vector<std::wstring> missing;
    for (const auto& entry : required) {
        if (IsPresent(entry))
            continue;
        missing.push_back(entry);
        Logger::Write(L"WARNING", L"Missing file: " + entry);
    }
    if (missing.empty()) {
        Logger::Write(L"INFO", L"All system files present");
        return true;
    }

    const size_t n = missing.size();
    for (size_t i = 0; i < n; ++i) {
        const std::wstring& entry = missing[i];
        const PathSplit split = SplitAtLastSeparator(entry, Separators::Either);
        const std::wstring& name = split.name;
        const std::wstring text = L"Downloading " + name + L"...";
        // The step runs from the previous file's percentage (10 before the
        // first) to this file's own.
        const int from = i == 0 ? 10 : DownloadPercent(i - 1, n), to = DownloadPercent(i, n);
        int shown = from;
        ShowProgressPopup(text.c_str(), from);
        if (split.hasSeparator)
            EnsureDirectory(split.directory); // a failure shows up as the download's
        // The bar moves through this file's step as its bytes arrive, redrawn
        // only when the fill grows; the messages are pumped once a frame in
        // between.
        DWORD drawnAt = GetTickCount(), pumpedAt = drawnAt;
        auto progress = [&](std::uint64_t received, std::uint64_t expected) {
            const int percent = StepPercent(from, to, received, expected);
            const DWORD now = GetTickCount();
            if (percent != shown && now - drawnAt >= kRedrawMs) {
                ShowProgressPopup(text.c_str(), percent);
                shown = percent;
                drawnAt = pumpedAt = now;
            } else if (now - pumpedAt >= kFrameMs) {
                PumpThreadMessages();
                pumpedAt = now;
            }
        };
        DownloadFailure failure;
        if (!DownloadFromMirrors(entry, progress, &failure)) {
            Logger::Write(L"ERROR", L"Told the player: " + DownloadFailureReason(failure));
            ShowErrorBox(DownloadFailureText(name, failure));
            return false;
        }
    }
    ShowProgressPopup(L"All files downloaded!", 95);
    return true;
}
