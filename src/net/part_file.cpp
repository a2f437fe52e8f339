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

// At most limit + 1 bytes, so an oversized file reads as one.
std::string ReadSmallFile(const std::wstring& path, size_t limit) {
    FILE* opened = _wfsopen(FileSystemPath(path).c_str(), L"rb", _SH_DENYWR);
    if (!opened)
        return {};
    ScopedFile file(opened);
    std::string bytes(limit + 1, '\0');
    bytes.resize(fread(&bytes[0], 1, bytes.size(), file.get()));
    return bytes;
}

} // namespace

PartFile::PartFile(const std::wstring& target)
    : target_(target), part_(target + L".part"), info_(part_ + L".info") {}

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
        auto info = ParsePartInfo(ReadSmallFile(info_, kMaxPartInfoBytes));
        if (info && static_cast<std::uint64_t>(size) < info->length && MayResumeFrom(*info, url))
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

// A crash before this leaves at most a stray .part, never a truncated target.
bool PartFile::Place() {
    unsigned long error = 0;
    if (!MoveFileReplacing(part_, target_, error)) {
        Logger::Write(L"ERROR", L"Failed to move download into place: " + target_ + L" (error " +
                                    std::to_wstring(error) + L")");
        return false;
    }
    DeleteIfThere(info_);
    return true;
}
