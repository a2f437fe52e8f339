// What an update run leaves for the next one: the entries of a failed update
// and, while it walks, the note of the list under way.
#include "patch/patch.h"
#include "patch/move_file.h"
#include "patch/patch_entry.h"
#include "patch/patch_text.h"
#include "log/log.h"
#include "scoped_win.h"

#include <algorithm>

PatchList FailedEntriesToRetry(const PatchList& list, const std::vector<bool>& failed) {
    return SelectEntriesToRetry(list, failed, [](const std::wstring& source) {
        DWORD attributes = GetFileAttributesW(source.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    });
}

namespace {

const wchar_t kListName[] = L"patchlist.txt";
const wchar_t kTempName[] = L"patchlist.txt.tmp";
const wchar_t kNoteName[] = L"patchlist.txt.applying";

bool WriteWholeFile(const wchar_t* name, const std::string& bytes, DWORD& error) {
    ScopedHandle file(CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        error = GetLastError();
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        error = GetLastError();
        return false;
    }
    if (written != bytes.size()) {
        error = ERROR_WRITE_FAULT;
        return false;
    }
    // On disk before it replaces the list, so a crash leaves one whole list.
    if (!FlushFileBuffers(file.get())) {
        error = GetLastError();
        return false;
    }
    return true;
}

} // namespace

bool SavePatchList(const PatchList& entries) {
    DWORD error = ERROR_SUCCESS;
    bool saved = WriteWholeFile(kTempName, PatchListBytes(entries), error) &&
                 MoveFileReplacing(kTempName, kListName, error);
    if (!saved) {
        DeleteFileW(kTempName);
        Logger::Write(L"ERROR", L"Failed to write patchlist.txt, Error: " + std::to_wstring(error));
        return false;
    }
    for (const auto& entry : entries)
        Logger::Write(L"INFO", L"Kept in patchlist.txt: " + entry);
    return true;
}

bool PatchWalkWasCutShort(const PatchList& entries) {
    ScopedHandle note(CreateFileW(kNoteName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!note.valid() || !GetFileSizeEx(note.get(), &size))
        return false;
    const std::string expected = PatchListBytes(entries);
    if (size.QuadPart != static_cast<LONGLONG>(expected.size()))
        return false;
    // Compared a piece at a time: a second whole copy of a long list is not needed.
    char chunk[64 * 1024];
    for (size_t at = 0; at < expected.size();) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min(sizeof chunk, expected.size() - at));
        if (!ReadFile(note.get(), chunk, want, &got, nullptr) || got == 0 ||
            expected.compare(at, got, chunk, got) != 0)
            return false;
        at += got;
    }
    return true;
}

bool NotePatchWalk(const PatchList& entries) {
    DWORD error = ERROR_SUCCESS;
    if (WriteWholeFile(kNoteName, PatchListBytes(entries), error))
        return true;
    // The walk goes on; only a run after a crash of this one would be stricter.
    DeleteFileW(kNoteName);
    Logger::Write(L"WARNING",
                  L"Failed to write patchlist.txt.applying, Error: " + std::to_wstring(error));
    return false;
}

void ClearPatchWalkNote() {
    DeleteFileW(kNoteName);
}
