// Putting one downloaded file in its place.
#include "patch/patch.h"
#include "patch/patch_entry.h"
#include "log/log.h"
#include "long_path.h"
#include "scoped_win.h"

namespace {

bool MakeDirectory(const std::wstring& directory, KnownDirectories* known) {
    if (!EnsureDirectory(directory, known)) {
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

} // namespace

bool ApplyPatchEntry(PatchEntry entry, KnownDirectories* known, bool resumed) {
    const std::wstring path = CleanPatchEntry(entry);
    // Checked before anything is logged, made or moved.
    if (IsUnsafePatchPath(path)) {
        Logger::Write(L"ERROR", L"Refused unsafe path: " + path);
        return false;
    }
    const std::wstring source = PatchSourcePath(path);
    Logger::Write(L"INFO", L"Source Path: " + source);
    Logger::Write(L"INFO", L"Destination Path: " + path);

    // Only a backslash ends the directory part: "a\\b/c.dll" makes "a".
    const PathSplit split = SplitAtLastSeparator(path, Separators::BackslashOnly);
    const std::wstring& directory = split.directory;
    const bool hasDirectory = split.hasSeparator;
    if (hasDirectory && !MakeDirectory(directory, known))
        return false;

    DWORD error = ERROR_SUCCESS;
    bool moved = MoveFileReplacing(source, path, error);
    if (!moved && hasDirectory && known && error == ERROR_PATH_NOT_FOUND &&
        GetFileAttributesW(FileSystemPath(directory).c_str()) == INVALID_FILE_ATTRIBUTES) {
        // Taken from memory, the folder has gone since: make it again.
        ForgetDirectory(directory, *known);
        if (!MakeDirectory(directory, known))
            return false;
        moved = MoveFileReplacing(source, path, error);
    }
    if (moved) {
        Logger::Write(L"INFO", L"File moved successfully to: " + path);
        return true;
    }
    // Moved before the earlier walk was cut short. A destination missing as
    // well stays a failure: that file really is not there.
    if (resumed && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
        GetFileAttributesW(FileSystemPath(source).c_str()) == INVALID_FILE_ATTRIBUTES &&
        IsFile(path)) {
        Logger::Write(L"INFO", L"Already in place: " + path);
        return true;
    }
    ScopedLocalText text;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0,
                   reinterpret_cast<LPWSTR>(text.out()), 0, nullptr);
    Logger::Write(L"ERROR", MoveFailureMessage(path, error, text.get()));
    return false;
}
