// patchlist.txt, the hand-over from the component that downloads an update:
// read into g_patchList, deleted or rewritten after the walk, and the note of
// the walk under way beside it.
#include "patch/patch.h"
#include "patch/patch_entry.h"
#include "patch/patch_text.h"
#include "log/log.h"
#include "scoped_win.h"

#include <share.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

PatchList g_patchList;

namespace {

const wchar_t kListName[] = L"patchlist.txt";
const wchar_t kTempName[] = L"patchlist.txt.tmp";
const wchar_t kNoteName[] = L"patchlist.txt.applying";

// Written and flushed to disk.
bool WriteFileDurably(const wchar_t* name, const std::string& bytes, DWORD& error) {
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

bool LoadPatchList() {
    // Binary read; the text-mode line rules are applied by SplitPatchListBytes.
    // Other processes keep read and write access while we read.
    ScopedFile file(_wfsopen(kListName, L"rb", _SH_DENYNO));
    if (!file.get()) {
        Logger::Write(L"ERROR", L"Failed to open patchlist.txt");
        return false;
    }

    // A read error ends the reading like the end of the file: what was read stays.
    std::string bytes;
    char chunk[64 * 1024];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes.append(chunk, got);
    file.close();

    PatchList lines = SplitPatchListBytes(bytes);
    std::string().swap(bytes);
    if (g_patchList.empty())
        g_patchList = std::move(lines); // no second copy of a long list
    else
        g_patchList.insert(g_patchList.end(), std::make_move_iterator(lines.begin()),
                           std::make_move_iterator(lines.end()));

    Logger::Write(L"INFO", L"Patchlist loaded successfully [objects: " +
                               std::to_wstring(g_patchList.size()) + L"]");
    return true;
}

PatchList FailedEntriesToRetry(const PatchList& list, const std::vector<bool>& failed) {
    return SelectEntriesToRetry(list, failed, IsFile);
}

bool SavePatchList(const PatchList& entries) {
    DWORD error = ERROR_SUCCESS;
    bool saved = WriteFileDurably(kTempName, PatchListBytes(entries), error) &&
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
    if (WriteFileDurably(kNoteName, PatchListBytes(entries), error))
        return true;
    // The walk goes on; only a run after a crash of this one would be stricter.
    DeleteFileW(kNoteName);
    Logger::Write(L"WARNING",
                  L"Failed to write patchlist.txt.applying, Error: " + std::to_wstring(error));
    return false;
}

void ClearPatchWalkNote(bool listReplaced) {
    if (listReplaced || GetFileAttributesW(kListName) == INVALID_FILE_ATTRIBUTES)
        DeleteFileW(kNoteName);
}

bool DeletePatchList() {
    return _wremove(kListName) == 0;
}
