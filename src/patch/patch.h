// The patch list and the placing of downloaded files: what the driver and the
// launch may call.
#pragma once

#include <string>
#include <vector>

using PatchEntry = std::wstring;
using PatchList = std::vector<PatchEntry>;

// Filled once per update run by LoadPatchList, raw lines in file order.
extern PatchList g_patchList;

// Appends the lines of patchlist.txt to g_patchList; false when it cannot be opened.
bool LoadPatchList();

// Creates every missing level of a directory path, outermost first.
bool EnsureDirectory(const std::wstring& path);

// Moves download\<entry> to <entry>, replacing what is there; false when the
// entry was refused as unsafe or the directory step or the move failed.
bool ApplyPatchEntry(PatchEntry entry);

// The entries flagged in failed whose file still waits under download\, in
// list order: what the next update run should try again.
PatchList FailedEntriesToRetry(const PatchList& list, const std::vector<bool>& failed);

// Replaces patchlist.txt with these entries, bytes as read, CR LF line ends,
// through a temporary file beside it; false (and the old file kept) on failure.
bool SavePatchList(const PatchList& entries);
