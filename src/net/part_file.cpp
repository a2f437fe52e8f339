// The .part and .part.info pair of one download.
#include "net/part_file.h"
#include "log/log.h"
#include "patch/patch.h"
#include "long_path.h"
#include "scoped_win.h"

#include <share.h>

namespace {

bool DeleteIfThere(const std::wstring& path) {
    return DeleteFileW(FileSystemPath(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

} // namespace

PartFile::PartFile(const std::wstring& target)
    : target_(target), part_(target + L".part"), info_(part_ + L".info") {}

std::wstring PartFile::folder() const {
    return SplitAtLastSeparator(target_, Separators::Either).directory;
}

long long PartFile::Size() const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(FileSystemPath(part_).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return static_cast<long long>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                                  data.nFileSizeLow);
}

std::optional<PartFile::Kept> PartFile::TakeKept(const std::string& url) {
    // A kept part is continued only when its info says how, for this URL.
    const long long size = Size();
    if (size > 0) {
        std::string text;
        auto info =
            ReadSmallFile(info_, kMaxPartInfoBytes, text) ? ParsePartInfo(text) : std::nullopt;
        // A whole part is one whose placing failed: it is placed, not fetched.
        if (info && static_cast<std::uint64_t>(size) <= info->length && MayResumeFrom(*info, url))
            return Kept{*info, static_cast<std::uint64_t>(size)};
    }
    DeleteIfThere(info_); // a stale leftover: fetched from zero
    return std::nullopt;
}

bool PartFile::WriteInfo(const PartInfo& info) {
    FILE* opened = _wfsopen(FileSystemPath(info_).c_str(), L"wb", _SH_DENYRW);
    if (!opened)
        return false;
    ScopedFile file(opened);
    const std::string bytes = FormatPartInfo(info);
    bool written = fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return file.close() && written;
}

bool PartFile::DropInfo() {
    return DeleteIfThere(info_);
}

void PartFile::Discard() {
    DeleteIfThere(info_);
    DeleteIfThere(part_);
}

// A crash before this leaves at most a stray .part, never a truncated target;
// and the bytes are on the disk before the move makes them the file, so a
// power cut cannot leave the file at full size with blocks never written.
bool PartFile::Place() {
    unsigned long error = 0;
    ScopedHandle written(CreateFileW(FileSystemPath(part_).c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!written.valid() || !FlushFileBuffers(written.get())) {
        Logger::Write(L"ERROR", L"Failed to write the download to disk: " + target_ + L" (error " +
                                    std::to_wstring(GetLastError()) + L")");
        return false;
    }
    written.reset();
    if (!MoveFileReplacing(part_, target_, error)) {
        Logger::Write(L"ERROR", L"Failed to move download into place: " + target_ + L" (error " +
                                    std::to_wstring(error) + L")");
        return false;
    }
    DeleteIfThere(info_);
    return true;
}
