// Downloads: what the launch may call.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Fetches url into path. Only a transfer that ended cleanly with status 200 from a
// verified https server replaces path; any failure leaves path as it was.
bool DownloadFile(const std::wstring& url, const std::wstring& path);

// libcurl's write callback: stream is the open output FILE*.
std::size_t WriteDownloadData(char* data, std::size_t size, std::size_t count, void* stream);

// Fetches a file of the installation by its relative path from the primary
// mirror and, failing that, from the main server; stored at that same path.
bool DownloadFromMirrors(const std::wstring& relativePath);

// The eight runtime files of the game for a 64-bit or a 32-bit system, in
// order, and those for this system's bitness.
std::vector<std::wstring> RequiredSystemFiles(bool native64Bit);
std::vector<std::wstring> GetRequiredSystemFiles();

// Checks every runtime file and fetches the missing ones under the progress
// popup; false, after telling the user, when one cannot be had.
bool EnsureSystemFiles();
