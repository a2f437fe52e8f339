// Decisions of the update run, kept free of <windows.h> so their table runs
// natively under the sanitizers.
#pragma once

#include <cstddef>
#include <string>

// The command line (without the program name) selects the update run when it
// holds "update" anywhere, case-sensitively.
bool IsUpdateCommandLine(const wchar_t* commandLine);

// Bar position for entry k of n (k counted from 1): k / n * 100 in single
// precision, truncated toward zero.
int ProgressPosition(std::size_t k, std::size_t n);

// The name of the mutex that keeps a second updater out of an installation:
// in the session's namespace, then a hash of the folder's full path, already
// folded to one letter case (a trailing backslash ignored). A hash, because a
// path can be longer than an object name may be and may hold backslashes.
std::wstring InstallationLockName(const std::wstring& foldedDirectory);
