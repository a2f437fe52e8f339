// The patch list and the placing of files: what the driver, the launch and
// the downloads may call. Free of <windows.h>.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

using PatchEntry = std::wstring;
using PatchList = std::vector<PatchEntry>;

// Filled once per update run by LoadPatchList, raw lines in file order.
extern PatchList g_patchList;

// How the read of patchlist.txt went: Missing is the ordinary run without an
// update (logged as ever, "Failed to open patchlist.txt"); Unreadable, a list
// that exists but could not be read whole, leaves g_patchList as it was.
enum class PatchListRead { Read, Missing, Unreadable };

// Appends the lines of patchlist.txt to g_patchList. An unreadable list is
// logged with the reason, which goes to why in a few words.
PatchListRead LoadPatchList(std::wstring* why = nullptr);

// Directory levels an update run has already made or found.
using KnownDirectories = std::set<std::wstring>;

// Creates every missing level of a directory path, outermost first. With
// known, a level listed there is taken as existing without asking the file
// system (its log line stays the same), and each level made or found is added.
bool EnsureDirectory(const std::wstring& path, KnownDirectories* known = nullptr);

// The waits of refused moves: each caller has its own, so what an update walk
// spent leaves no less to the placing of a download or of the kept list.
struct MoveBudget {
    unsigned waitedMs = 0;
};

// What an update walk carries from entry to entry.
struct PatchWalk {
    KnownDirectories known; // handed to EnsureDirectory
    MoveBudget budget;      // the walk's waits, ten seconds at most in all
    // An earlier walk of this same list was cut short: a source that is gone
    // while its destination is a file counts as placed by that walk.
    bool resumed = false;
};

// Why an entry was not placed, for the player.
enum class PlaceFailure { None, Refused, NotInDownload, InUse, NotWritable, DiskFull, Other };

// Moves download\<entry> to <entry>, replacing what is there (a file in use is
// set aside, see ReplaceFileInUse); false, with why, when the entry was
// refused as unsafe or the directory step or the move failed. A known folder
// removed since is made again.
bool ApplyPatchEntry(PatchEntry entry, PatchWalk* walk = nullptr, PlaceFailure* why = nullptr);

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

// Small files of the program's own (the kept list, the notes, a download's
// info): written whole and flushed to the disk before anything relies on
// them, and read whole. false with the system's error code.
bool WriteFileDurably(const std::wstring& path, const std::string& bytes, unsigned long& error);
// Replaces path through path + ".tmp" and a replacing move, so a crash leaves
// the old file or the new one, whole; the temporary file goes on failure.
bool ReplaceFileDurably(const std::wstring& path, const std::string& bytes, unsigned long& error);
// The whole file when it holds at most limit bytes; false when it is missing,
// larger or cannot be read.
bool ReadSmallFile(const std::wstring& path, std::size_t limit, std::string& bytes);

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
// or access denial is tried again for about two seconds (ten at most from one
// budget; without one, the call's own), since scanners and indexers hold a
// just-written file for a moment. On failure error holds the last move's
// system error code.
bool MoveFileReplacing(const std::wstring& from, const std::wstring& to, unsigned long& error,
                       MoveBudget* budget = nullptr);

// Places from at to when to is held by another program and cannot be
// replaced: to is renamed aside within its folder (a loaded library, a running
// program and a file open with delete sharing allow that), the new file moved
// in, and the old copy deleted, or named in a note (velmora.setaside) for a
// later run when its holder still has it. If the new file cannot be moved in,
// the old one is put back; a file that cannot even be renamed (held without
// delete sharing) gets the retried replacing move. True when from is in
// place; false with the system's error code of the last move.
bool ReplaceFileInUse(const std::wstring& from, const std::wstring& to, unsigned long& error,
                      MoveBudget& budget);

// Done by every run before it touches the folder: each set-aside copy whose
// holder has let go is deleted, and one whose replacement never came (a run
// killed between the two moves) is put back in its place.
void TidySetAsideFiles();
