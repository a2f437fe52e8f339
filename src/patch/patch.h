// The patch list and the placing of downloaded files: what the driver and the
// launch may call.
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
bool ApplyPatchEntry(PatchEntry entry, KnownDirectories* known = nullptr);

// The entries flagged in failed whose file still waits under download\, in
// list order: what the next update run should try again.
PatchList FailedEntriesToRetry(const PatchList& list, const std::vector<bool>& failed);

// Replaces patchlist.txt with these entries, bytes as read, CR LF line ends,
// through a temporary file beside it; false (and the old file kept) on failure.
bool SavePatchList(const PatchList& entries);
