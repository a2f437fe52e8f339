// Decisions of the update run, kept free of <windows.h> so they can be
// compiled natively and fuzzed.
#pragma once

#include <cstddef>
#include <string>

// The command line (without the program name) selects the update run when it
// holds "update" anywhere, case-sensitively.
bool IsUpdateCommandLine(const wchar_t* commandLine);

// Bar position for entry k of n (k counted from 1): k / n * 100 in single
// precision, truncated toward zero.
int ProgressPosition(std::size_t k, std::size_t n);

// Status texts after a run in which some entries failed.
std::wstring IncompleteUpdateText(std::size_t failed, std::size_t total);
std::wstring KeptPatchListText(std::size_t kept);

// True when path names something below directory (at any depth). Both are full
// paths already folded to one letter case; directory may end in a backslash.
// C:\game holds C:\game\x but not C:\gameX\x, nor itself.
bool PathLiesInside(const std::wstring& path, const std::wstring& directory);

// The name of the mutex that keeps a second updater out of an installation:
// in the session's namespace, then a hash of the folder's full path, already
// folded to one letter case (a trailing backslash ignored). A hash, because a
// path can be longer than an object name may be and may hold backslashes.
std::wstring InstallationLockName(const std::wstring& foldedDirectory);
