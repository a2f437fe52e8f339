// The patch list's text rules, kept free of <windows.h> so they can be
// compiled natively and fuzzed.
#pragma once

#include <string>
#include <vector>

// Splits patchlist.txt's bytes as a text-mode read does: CR LF ends a line
// like LF, any other CR stays, each byte becomes the character of the same
// value, and a line end at the very end adds no empty entry.
std::vector<std::wstring> SplitPatchListBytes(const std::string& bytes);

// The bytes of a patch list naming these entries: each character back to the
// byte it was read from, every line ended by CR LF.
std::string PatchListBytes(const std::vector<std::wstring>& entries);
