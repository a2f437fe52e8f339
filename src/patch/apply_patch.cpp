// Putting one downloaded file in its place.
#include "patch/patch.h"
#include "patch/move_file.h"
#include "patch/patch_entry.h"
#include "log/log.h"
#include "scoped_win.h"

bool ApplyPatchEntry(PatchEntry entry) {
    const std::wstring path = CleanPatchEntry(entry);
    // Checked before anything is logged, made or moved.
    if (IsUnsafePatchPath(path)) {
        Logger::Write(L"ERROR", L"Refused unsafe path: " + path);
        return false;
    }
    const std::wstring source = PatchSourcePath(path);
    Logger::Write(L"INFO", L"Source Path: " + source);
    Logger::Write(L"INFO", L"Destination Path: " + path);

    std::wstring directory;
    if (PatchDirectoryPart(path, directory)) {
        if (!EnsureDirectory(directory)) {
            Logger::Write(L"ERROR", L"Failed to create directory path: " + directory);
            return false;
        }
        Logger::Write(L"INFO", L"Directory created successfully: " + directory);
    }

    DWORD error = ERROR_SUCCESS;
    if (MoveFileReplacing(source, path, error)) {
        Logger::Write(L"INFO", L"File moved successfully to: " + path);
        return true;
    }
    ScopedLocalText text;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0,
                   reinterpret_cast<LPWSTR>(text.out()), 0, nullptr);
    Logger::Write(L"ERROR", MoveFailureMessage(path, error, text.get()));
    return false;
}
