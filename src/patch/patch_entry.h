// What one patch entry means, and the splitting of a path that patch.h
// declares; kept free of <windows.h> so it can be compiled natively and fuzzed.
#pragma once

#include "patch/patch.h"

#include <functional>
#include <string>
#include <vector>

// Every double quote removed, then the spaces and tabs at both ends. Nothing
// else is touched: the path is not normalised.
std::wstring CleanPatchEntry(const std::wstring& entry);

// True for a cleaned path that could name something outside the installation:
// a leading backslash or slash (root, UNC, device paths), a ":" anywhere (drive
// letters, alternate streams), a parent component between separators of
// either kind, or a NUL that would cut the path short at the system call.
bool IsUnsafePatchPath(const std::wstring& cleaned);

// Where the downloader left the file: "download\" followed by the cleaned path.
std::wstring PatchSourcePath(const std::wstring& cleaned);

// A backslash or a forward slash: either ends a directory level.
bool IsPathSeparator(wchar_t c);

// The failed entries worth naming in the next patch list, in list order: those
// whose source is still a file, as sourceIsFile answers for the source path.
// Refused entries are never kept, as they would be refused again.
std::vector<std::wstring>
SelectEntriesToRetry(const std::vector<std::wstring>& entries, const std::vector<bool>& failed,
                     const std::function<bool(const std::wstring& source)>& sourceIsFile);
