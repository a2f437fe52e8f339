// The patch list's text rules, kept free of <windows.h> so they can be
// compiled natively and fuzzed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// How patchlist.txt's bytes are read. UTF-16 when they start with its
// byte-order mark (what Windows PowerShell writes), little- or big-endian;
// UTF-8 when they all are valid UTF-8 and either start with its mark or hold
// a byte outside ASCII; anything else one character per byte (ISO 8859-1), so
// a list in plain ASCII reads the same either way and an older list reads as
// it always has.
enum class PatchListEncoding { SingleByte, Utf8, Utf8WithMark, Utf16Le, Utf16Be };

PatchListEncoding PatchListEncodingOf(std::string_view bytes);

// Splits patchlist.txt's bytes as a text-mode read does: CR LF ends a line
// like LF, any other CR stays, and a line end at the very end adds no empty
// entry. Lines are read in the encoding given (a byte-order mark dropped; in
// UTF-16 an odd last byte is a unit of its own); wide strings hold UTF-16 on
// every platform.
std::vector<std::wstring> SplitPatchListBytes(std::string_view bytes, PatchListEncoding encoding);

// The bytes of a patch list naming these entries, in the encoding the list
// was read in, every line ended by CR LF. They read back as the same entries.
std::string PatchListBytes(const std::vector<std::wstring>& entries, PatchListEncoding encoding);
