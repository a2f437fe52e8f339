// The patch list and the placing of files: what the driver, the launch and
// the downloads may call. Free of <windows.h>.
#pragma once

#include <set>
#include <string>
#include <vector>

using PatchEntry = std::wstring;
using PatchList = std::vector<PatchEntry>;

// Filled once per update run by LoadPatchList, raw lines in file order.
extern PatchList g_patchList;

// Appends the lines of patchlist.txt to g_patchList; false when it cannot be opened.
bool LoadPatchList();

// Directory levels an update run has already made or found.
using KnownDirectories = std::set<std::wstring>;

// Creates every missing level of a directory path, outermost first. With
// known, a level listed there is taken as existing without asking the file
// system (its log line stays the same), and each level made or found is added.
bool EnsureDirectory(const std::wstring& path, KnownDirectories* known = nullptr);

// Moves download\<entry> to <entry>, replacing what is there; false when the
// entry was refused as unsafe or the directory step or the move failed. known
// is handed to EnsureDirectory; a known folder removed since is made again.
// With resumed (an earlier walk of this same list was cut short), a source
// that is gone while its destination is a file counts as placed by that walk.
bool ApplyPatchEntry(PatchEntry entry, KnownDirectories* known = nullptr, bool resumed = false);

// The entries flagged in failed whose file still waits under download\, in
// list order: what the next update run should try again.
PatchList FailedEntriesToRetry(const PatchList& list, const std::vector<bool>& failed);

// Replaces patchlist.txt with these entries, bytes as read, CR LF line ends,
// through a temporary file beside it; false (and the old file kept) on failure.
bool SavePatchList(const PatchList& entries);

// The note an update run keeps while it walks a list (patchlist.txt.applying,
// the list's bytes): a run that finds the note of the very list it has just
// read knows that an earlier walk of it was cut short, so sources already gone
// were moved by that walk. True when the note matches these entries.
bool PatchWalkWasCutShort(const PatchList& entries);
// Writes the note before the first move; false (logged) when it cannot.
bool NotePatchWalk(const PatchList& entries);
// Removes the note once patchlist.txt no longer names the list it describes:
// when listReplaced (SavePatchList wrote the entries still waiting) or with
// patchlist.txt gone.
void ClearPatchWalkNote(bool listReplaced);

// Deletes patchlist.txt; false when it could not.
bool DeletePatchList();

// Which separators count when a path is split at its last one: both, but for
// a patch entry's directory part, which only a backslash ends.
enum class Separators { BackslashOnly, Either };

struct PathSplit {
    bool hasSeparator = false;
    std::wstring directory; // up to, not including, the last separator
    std::wstring name;      // after it; the whole path when there is none
};

PathSplit SplitAtLastSeparator(const std::wstring& path, Separators separators);

// True when path names a file (not a directory).
bool IsFile(const std::wstring& path);

// Moves from to to, replacing a file already there, copying across volumes and
// returning only once the data is on disk. A sharing violation, lock violation
// or access denial is tried again for about two seconds (ten at most in the
// whole run), since scanners and indexers hold a just-written file for a
// moment. On failure error holds the last move's system error code.
bool MoveFileReplacing(const std::wstring& from, const std::wstring& to, unsigned long& error);
