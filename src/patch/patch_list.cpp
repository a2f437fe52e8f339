// patchlist.txt, the hand-over from the component that downloads an update:
// read into g_patchList, deleted or rewritten after the walk, and the note of
// the walk under way beside it.
#include "patch/patch.h"
#include "patch/patch_entry.h"
#include "patch/patch_text.h"
#include "log/log.h"
#include "long_path.h"
#include "scoped_win.h"

#include <io.h>
#include <share.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <new>

PatchList g_patchList;

namespace {

const wchar_t kListName[] = L"patchlist.txt";
const wchar_t kTempName[] = L"patchlist.txt.tmp";
const wchar_t kNoteName[] = L"patchlist.txt.applying";

// The encoding the list was read in, and so is written back in.
PatchListEncoding listEncoding = PatchListEncoding::SingleByte;

// Whether the entries of a list of this many bytes and lines would fit: room
// for every byte as a wide character and every line as a string, asked of
// the allocator once before any of it is taken. A 32-bit process runs out of
// address space long before the file system runs out of room.
bool EntriesWouldFit(std::uint64_t bytes, std::uint64_t lines) {
    const std::uint64_t need =
        bytes * sizeof(wchar_t) + lines * (sizeof(PatchEntry) + 4 * sizeof(void*));
    if (bytes > PTRDIFF_MAX / 4 || need > PTRDIFF_MAX)
        return false;
    return std::unique_ptr<char[]>(new (std::nothrow) char[static_cast<size_t>(need)]) != nullptr;
}

// The file's length bytes, into a buffer of that size; false when it is too
// large to hold. A read error ends the reading like the end of the file.
bool ReadWhole(FILE* file, long long length, std::unique_ptr<char[]>& bytes, size_t& size) {
    if (length < 0 || static_cast<unsigned long long>(length) > PTRDIFF_MAX / 4)
        return false;
    bytes.reset(new (std::nothrow) char[static_cast<size_t>(length)]);
    if (!bytes)
        return false;
    size = fread(bytes.get(), 1, static_cast<size_t>(length), file);
    return true;
}

// Written and flushed to disk.
bool WriteFileDurably(const wchar_t* name, const std::string& bytes, DWORD& error) {
    ScopedHandle file(CreateFileW(FileSystemPath(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
    ScopedFile file(_wfsopen(FileSystemPath(kListName).c_str(), L"rb", _SH_DENYNO));
    if (!file.get()) {
        Logger::Write(L"ERROR", L"Failed to open patchlist.txt");
        return false;
    }
    // Its size is checked against memory before anything is allocated for it.
    const long long length = _filelengthi64(_fileno(file.get()));
    std::unique_ptr<char[]> buffer;
    size_t size = 0;
    const bool read = ReadWhole(file.get(), length, buffer, size);
    const std::string_view bytes(buffer.get(), size);
    if (!read || !EntriesWouldFit(size, std::count(bytes.begin(), bytes.end(), '\n') + 1)) {
        Logger::Write(L"ERROR",
                      L"patchlist.txt too large to read: " + std::to_wstring(length) + L" bytes");
        return false;
    }
    file.close();

    listEncoding = PatchListEncodingOf(bytes);
    PatchList lines = SplitPatchListBytes(bytes, listEncoding);
    buffer.reset();
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
    bool saved = WriteFileDurably(kTempName, PatchListBytes(entries, listEncoding), error) &&
                 MoveFileReplacing(kTempName, kListName, error);
    if (!saved) {
        DeleteFileW(FileSystemPath(kTempName).c_str());
        Logger::Write(L"ERROR", L"Failed to write patchlist.txt, Error: " + std::to_wstring(error));
        return false;
    }
    for (const auto& entry : entries)
        Logger::Write(L"INFO", L"Kept in patchlist.txt: " + entry);
    return true;
}

bool PatchWalkWasCutShort(const PatchList& entries) {
    ScopedHandle note(CreateFileW(FileSystemPath(kNoteName).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!note.valid() || !GetFileSizeEx(note.get(), &size))
        return false;
    const std::string expected = PatchListBytes(entries, listEncoding);
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
    if (WriteFileDurably(kNoteName, PatchListBytes(entries, listEncoding), error))
        return true;
    // The walk goes on; only a run after a crash of this one would be stricter.
    DeleteFileW(FileSystemPath(kNoteName).c_str());
    Logger::Write(L"WARNING",
                  L"Failed to write patchlist.txt.applying, Error: " + std::to_wstring(error));
    return false;
}

void ClearPatchWalkNote(bool listReplaced) {
    if (listReplaced ||
        GetFileAttributesW(FileSystemPath(kListName).c_str()) == INVALID_FILE_ATTRIBUTES)
        DeleteFileW(FileSystemPath(kNoteName).c_str());
}

bool DeletePatchList() {
    return _wremove(FileSystemPath(kListName).c_str()) == 0;
}
