// What the player reads when a runtime file cannot be had: the file, what
// happened and what to do, in plain words.
#include "launch/launch.h"
#include "long_path.h"

#include <cwchar>

namespace {

// When this program was built: a PC whose clock says earlier is wrong.
const wchar_t kBuildDate[] = UPDATER_BUILD_DATE; // YYYY-MM-DD

std::wstring Today(const SYSTEMTIME& now) {
    wchar_t text[128] = {};
    if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &now, nullptr, text, 128) > 0)
        return text;
    swprintf(text, 128, L"%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

bool BeforeBuildDate(const SYSTEMTIME& now) {
    wchar_t iso[16];
    swprintf(iso, 16, L"%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return std::wcscmp(iso, kBuildDate) < 0;
}

// The folder a failure names, in full.
std::wstring FolderOf(const DownloadFailure& f) {
    return FullPath(f.folder.empty() ? L"." : f.folder);
}

std::wstring Megabytes(std::uint64_t bytes) {
    return std::to_wstring((bytes + (1 << 20) - 1) >> 20) + L" MB";
}

std::wstring DiskFullText(const DownloadFailure& f) {
    const std::wstring folder = FolderOf(f);
    wchar_t volume[MAX_PATH] = {};
    ULARGE_INTEGER free = {};
    const bool known = GetVolumePathNameW(folder.c_str(), volume, MAX_PATH) &&
                       GetDiskFreeSpaceExW(volume, &free, nullptr, nullptr);
    std::wstring text =
        known ? L"The drive " + std::wstring(volume) + L" is full" : L"The game's drive is full";
    if (known && f.bytesNeeded > free.QuadPart)
        text += L": the file needs " + Megabytes(f.bytesNeeded) + L" free there, and " +
                Megabytes(free.QuadPart) + L" are free";
    return text + L". Free some space on it, then start the game again.";
}

} // namespace

std::wstring DownloadFailureReason(const DownloadFailure& failure) {
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    std::wstring why;
    switch (failure.kind) {
    case FetchFailure::NoConnection:
        why = L"The game's servers could not be reached. Check the internet connection and the "
              L"proxy settings of Windows, then start the game again.";
        break;
    case FetchFailure::Intercepted:
        if (!BeforeBuildDate(now)) {
            why = L"The game's servers could not be trusted: something on this PC or its network "
                  L"intercepts the connection (a security program or a company proxy, say). "
                  L"Check them, or tell the game's support.";
            break;
        }
        [[fallthrough]]; // a certificate not valid yet, as the system judged it
    case FetchFailure::ClockWrong:
        why = L"Your computer's clock is set to " + Today(now) +
              L". Set the date and time right, then start the game again.";
        break;
    case FetchFailure::NotOnServer:
        why = L"The game's servers do not have this file. Please tell the game's support.";
        break;
    case FetchFailure::BadSignature:
        why = L"The file the servers sent is not signed by the game's publisher. Please tell the "
              L"game's support.";
        break;
    case FetchFailure::DiskFull:
        why = DiskFullText(failure);
        break;
    case FetchFailure::NotWritable:
        why = L"Windows does not let this program write to the game's folder " + FolderOf(failure) +
              L". Start the game as a user who may change that folder, or install it elsewhere.";
        break;
    default:
        why = L"The game's servers failed to deliver this file. Try again later; if it keeps "
              L"happening, please tell the game's support.";
        break;
    }
    return why;
}

std::wstring DownloadFailureText(const std::wstring& name, const DownloadFailure& failure) {
    return L"Failed to download required file: " + name + L"\n\n" + DownloadFailureReason(failure);
}
