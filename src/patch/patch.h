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
