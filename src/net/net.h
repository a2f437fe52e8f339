// Downloads: what the launch may call.
#pragma once

#include <cstddef>
#include <string>

// Fetches url into path. Only a transfer that ended cleanly with status 200 from a
// verified https server replaces path; any failure leaves path as it was.
bool DownloadFile(const std::wstring& url, const std::wstring& path);

// libcurl's write callback: stream is the open output FILE*.
std::size_t WriteDownloadData(char* data, std::size_t size, std::size_t count, void* stream);

// Fetches a file of the installation by its relative path from the primary
// mirror and, failing that, from the main server; stored at that same path.
bool DownloadFromMirrors(const std::wstring& relativePath);
