// Replacing a file that another program holds. Windows lets a file in use (a
// loaded library, a running program, a file open with delete sharing) be
// renamed within its folder though not replaced, so the old file is set
// aside under a name of its own and the new one moved in. Copies that cannot
// be deleted yet are named in a note, velmora.setaside, until a later run can.
#include "patch/patch.h"
#include "patch/patch_text.h"
#include "log/log.h"
#include "long_path.h"

#include <windows.h>

#include <cwchar>
#include <vector>

namespace {

const wchar_t kNoteName[] = L"velmora.setaside";
const size_t kMaxNoteBytes = 1 << 20;

// One line of the note: the file's place, a tab, and its set-aside copy.
struct SetAside {
    std::wstring destination, copy;
};

std::vector<SetAside> ReadNote() {
    std::string bytes;
    std::vector<SetAside> noted;
    if (!ReadSmallFile(kNoteName, kMaxNoteBytes, bytes))
        return noted;
    // Written in UTF-16, as paths are; a line torn by a crash names nothing.
    for (const std::wstring& line : SplitPatchListBytes(bytes, PatchListEncodingOf(bytes))) {
        const size_t tab = line.find(L'\t');
        if (tab != std::wstring::npos && tab > 0 && tab + 1 < line.size())
            noted.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return noted;
}

bool WriteNote(const std::vector<SetAside>& noted) {
    if (noted.empty())
        return DeleteFileW(FileSystemPath(kNoteName).c_str()) ||
               GetLastError() == ERROR_FILE_NOT_FOUND;
    std::vector<std::wstring> lines;
    for (const SetAside& s : noted)
        lines.push_back(s.destination + L'\t' + s.copy);
    unsigned long error = 0;
    return ReplaceFileDurably(kNoteName, PatchListBytes(lines, PatchListEncoding::Utf16Le), error);
}

// "<name>.old~<8 hex digits>" beside it: an entry of a patch list names such
// a file only on purpose.
std::wstring FreeSetAsideName(const std::wstring& path) {
    unsigned tag = GetTickCount() * 2654435761u ^ GetCurrentProcessId();
    std::wstring name;
    for (int tries = 0; tries < 100; ++tries, ++tag) {
        wchar_t suffix[16];
        swprintf(suffix, 16, L".old~%08x", tag);
        name = path + suffix;
        if (GetFileAttributesW(FileSystemPath(name).c_str()) == INVALID_FILE_ATTRIBUTES)
            break;
    }
    return name; // the rename refuses a name that is taken after all
}

bool Rename(const std::wstring& from, const std::wstring& to) {
    return MoveFileExW(FileSystemPath(from).c_str(), FileSystemPath(to).c_str(),
                       MOVEFILE_WRITE_THROUGH);
}

// A copy whose holder has let go is deleted (a read-only one too); one whose
// holder opened it with delete sharing goes when that holder closes it.
bool DeleteCopy(const std::wstring& copy) {
    const std::wstring name = FileSystemPath(copy);
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(name.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return false;
    Logger::Write(L"INFO", L"Deleted the set-aside copy: " + copy);
    return true;
}

} // namespace

void TidySetAsideFiles() {
    const std::vector<SetAside> noted = ReadNote();
    if (noted.empty())
        return;
    std::vector<SetAside> waiting;
    for (const SetAside& s : noted) {
        if (!IsFile(s.copy))
            continue;
        // Killed between the two moves: the old file goes back, and the entry
        // waits in the list for the next update run.
        if (GetFileAttributesW(FileSystemPath(s.destination).c_str()) == INVALID_FILE_ATTRIBUTES &&
            Rename(s.copy, s.destination)) {
            Logger::Write(L"INFO", L"Put back: " + s.destination);
            continue;
        }
        if (!DeleteCopy(s.copy))
            waiting.push_back(s);
    }
    if (waiting.size() != noted.size())
        WriteNote(waiting);
}

bool ReplaceFileInUse(const std::wstring& from, const std::wstring& to, unsigned long& error,
                      MoveBudget& budget) {
    const SetAside aside = {to, FreeSetAsideName(to)};
    std::vector<SetAside> noted = ReadNote();
    noted.push_back(aside);
    // Named before it exists, so no crash can leave a copy nobody knows of.
    if (!WriteNote(noted) || !Rename(to, aside.copy)) {
        const DWORD renameError = GetLastError();
        noted.pop_back();
        WriteNote(noted);
        // Held without delete sharing: it may still let go within the wait.
        if (MoveFileReplacing(from, to, error, &budget))
            return true;
        // The replace is only denied; the rename says why.
        if (renameError == ERROR_SHARING_VIOLATION || renameError == ERROR_LOCK_VIOLATION)
            error = renameError;
        return false;
    }
    Logger::Write(L"INFO", L"In use by another program, set aside: " + to + L" as " + aside.copy);
    const bool placed = MoveFileReplacing(from, to, error, &budget);
    if (!placed && Rename(aside.copy, to))
        Logger::Write(L"INFO", L"Put back: " + to);
    TidySetAsideFiles();
    return placed;
}
