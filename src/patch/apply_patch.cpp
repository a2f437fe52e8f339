// Putting one downloaded file in its place.
#include "patch/patch.h"
#include "patch/patch_entry.h"
#include "log/log.h"
#include "long_path.h"
#include "scoped_win.h"

namespace {

// error: the system's code of a level that could not be made.
bool MakeDirectory(const std::wstring& directory, KnownDirectories* known, DWORD& error) {
    if (!EnsureDirectory(directory, known)) {
        error = GetLastError();
        Logger::Write(L"ERROR", L"Failed to create directory path: " + directory);
        return false;
    }
    Logger::Write(L"INFO", L"Directory created successfully: " + directory);
    return true;
}

// Drops the directory and every level above it from known.
void ForgetDirectory(const std::wstring& directory, KnownDirectories& known) {
    for (size_t i = 0; i < directory.size(); ++i)
        if (IsPathSeparator(directory[i]))
            known.erase(directory.substr(0, i + 1));
    known.erase(directory);
}

// The log message of a failed move; systemText may be null.
std::wstring MoveFailureMessage(const std::wstring& destination, unsigned long code,
                                const wchar_t* systemText) {
    // The system's text keeps its own line break, so "]" follows it.
    return L"Object: [" + destination + L"] move failed. Error code: [" + std::to_wstring(code) +
           L"]. Message: [" + (systemText ? systemText : L"Unknown error") + L"]";
}

bool InUseError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED || error == ERROR_USER_MAPPED_FILE;
}

// What the player is told of a failed move.
PlaceFailure FailureOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return PlaceFailure::NotInDownload;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return PlaceFailure::InUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return PlaceFailure::NotWritable;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return PlaceFailure::DiskFull;
    default:
        return PlaceFailure::Other;
    }
}

// A directory level that could not be made: its folder, not download\, is
// what is missing.
PlaceFailure DirectoryFailure(DWORD error) {
    const PlaceFailure failure = FailureOf(error);
    return failure == PlaceFailure::NotInDownload ? PlaceFailure::Other : failure;
}

// The replacing move of one entry; a destination in use is set aside. An
// error no wait clears (a missing source, say) ends it at once, as the
// retried move would.
bool MoveEntry(const std::wstring& source, const std::wstring& path, DWORD& error,
               MoveBudget& budget) {
    if (MoveFileExW(FileSystemPath(source).c_str(), FileSystemPath(path).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
        return true;
    error = GetLastError();
    if (!InUseError(error))
        return false;
    if (IsFile(path) && IsFile(source))
        return ReplaceFileInUse(source, path, error, budget);
    return MoveFileReplacing(source, path, error, &budget);
}

} // namespace

bool ApplyPatchEntry(PatchEntry entry, PatchWalk* walk, PlaceFailure* why) {
    PlaceFailure ignored;
    PlaceFailure& failure = why ? *why : ignored;
    failure = PlaceFailure::None;
    PatchWalk own;
    PatchWalk& state = walk ? *walk : own;
    KnownDirectories* known = walk ? &walk->known : nullptr;
    const std::wstring path = CleanPatchEntry(entry);
    // Checked before anything is logged, made or moved.
    if (IsUnsafePatchPath(path)) {
        Logger::Write(L"ERROR", L"Refused unsafe path: " + path);
        failure = PlaceFailure::Refused;
        return false;
    }
    const std::wstring source = PatchSourcePath(path);
    Logger::Write(L"INFO", L"Source Path: " + source);
    Logger::Write(L"INFO", L"Destination Path: " + path);

    // Only a backslash ends the directory part: "a\\b/c.dll" makes "a".
    const PathSplit split = SplitAtLastSeparator(path, Separators::BackslashOnly);
    const std::wstring& directory = split.directory;
    const bool hasDirectory = split.hasSeparator;
    DWORD error = ERROR_SUCCESS;
    if (hasDirectory && !MakeDirectory(directory, known, error)) {
        failure = DirectoryFailure(error);
        return false;
    }

    bool moved = MoveEntry(source, path, error, state.budget);
    if (!moved && hasDirectory && known && error == ERROR_PATH_NOT_FOUND &&
        GetFileAttributesW(FileSystemPath(directory).c_str()) == INVALID_FILE_ATTRIBUTES) {
        // Taken from memory, the folder has gone since: make it again.
        ForgetDirectory(directory, *known);
        if (!MakeDirectory(directory, known, error)) {
            failure = DirectoryFailure(error);
            return false;
        }
        moved = MoveEntry(source, path, error, state.budget);
    }
    if (moved) {
        Logger::Write(L"INFO", L"File moved successfully to: " + path);
        return true;
    }
    // Moved before the earlier walk was cut short. A destination missing as
    // well stays a failure: that file really is not there.
    if (state.resumed && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
        GetFileAttributesW(FileSystemPath(source).c_str()) == INVALID_FILE_ATTRIBUTES &&
        IsFile(path)) {
        Logger::Write(L"INFO", L"Already in place: " + path);
        return true;
    }
    ScopedLocalText text;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0,
                   reinterpret_cast<LPWSTR>(text.out()), 0, nullptr);
    Logger::Write(L"ERROR", MoveFailureMessage(path, error, text.get()));
    failure = FailureOf(error);
    if (failure == PlaceFailure::NotInDownload && IsFile(source))
        failure = PlaceFailure::Other; // its folder is what is missing
    if (failure == PlaceFailure::InUse)
        Logger::Write(L"ERROR", L"Another program has it open: " + path);
    return false;
}
