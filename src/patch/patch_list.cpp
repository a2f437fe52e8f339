// patchlist.txt, the hand-over from the component that downloads an update:
// read into g_patchList, deleted or rewritten after the walk, and the note of
// the walk under way beside it.
#include "patch/patch.h"
#include "patch/patch_entry.h"
#include "patch/patch_text.h"
#include "log/log.h"
#include "long_path.h"
#include "scoped_win.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <new>

PatchList g_patchList;

namespace {

const wchar_t kListName[] = L"patchlist.txt";
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

std::wstring ReadError(DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return L"another program has it open, error " + std::to_wstring(error);
    return L"error " + std::to_wstring(error);
}

// The whole file into buffer; false with the reason when it cannot be read
// whole. Its size is checked against memory before anything is allocated.
bool ReadWholeList(HANDLE file, std::unique_ptr<char[]>& buffer, size_t& size, std::wstring& why) {
    LARGE_INTEGER length = {};
    if (!GetFileSizeEx(file, &length)) {
        why = L"its size could not be read, " + ReadError(GetLastError());
        return false;
    }
    const std::wstring tooLarge =
        L"too large to read: " + std::to_wstring(length.QuadPart) + L" bytes";
    if (static_cast<std::uint64_t>(length.QuadPart) > PTRDIFF_MAX / 4 ||
        !(buffer.reset(new (std::nothrow) char[static_cast<size_t>(length.QuadPart)]), buffer)) {
        why = tooLarge;
        return false;
    }
    size = static_cast<size_t>(length.QuadPart);
    for (size_t at = 0; at < size;) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(size - at, 1u << 30));
        const bool read = ReadFile(file, buffer.get() + at, want, &got, nullptr);
        if (!read || got == 0) {
            const DWORD error = read ? ERROR_SUCCESS : GetLastError();
            why = L"it read short, " + std::to_wstring(at) + L" of " + std::to_wstring(size) +
                  L" bytes" + (error != ERROR_SUCCESS ? L", " + ReadError(error) : L"");
            return false;
        }
        at += got;
    }
    if (!EntriesWouldFit(size, std::count(buffer.get(), buffer.get() + size, '\n') + 1)) {
        why = tooLarge;
        return false;
    }
    return true;
}

} // namespace

PatchListRead LoadPatchList(std::wstring* reason) {
    ScopedHandle file(CreateFileW(FileSystemPath(kListName).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::wstring why;
    std::unique_ptr<char[]> buffer;
    size_t size = 0;
    if (!file.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            Logger::Write(L"ERROR", L"Failed to open patchlist.txt");
            return PatchListRead::Missing;
        }
        why = ReadError(error);
    } else if (ReadWholeList(file.get(), buffer, size, why)) {
        file.reset();
        const std::string_view bytes(buffer.get(), size);
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
        return PatchListRead::Read;
    }
    // Walking part of it and deleting it would lose the rest of the update.
    Logger::Write(L"ERROR", L"patchlist.txt could not be read: " + why);
    if (reason)
        *reason = why;
    return PatchListRead::Unreadable;
}

PatchList FailedEntriesToRetry(const PatchList& list, const std::vector<bool>& failed) {
    return SelectEntriesToRetry(list, failed, IsFile);
}

bool SavePatchList(const PatchList& entries) {
    unsigned long error = ERROR_SUCCESS;
    if (!ReplaceFileDurably(kListName, PatchListBytes(entries, listEncoding), error)) {
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
    unsigned long error = ERROR_SUCCESS;
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
