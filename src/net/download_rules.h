// Decisions of the downloads, kept free of <windows.h> so they can be
// compiled natively.
#pragma once

#include <string>

// The URL of a relative path under a base URL: backslashes become slashes and
// nothing else changes (no encoding, no trimming).
std::wstring DownloadUrl(const std::wstring& baseUrl, const std::wstring& relativePath);

// Where a download is written until it has fully arrived.
std::wstring PartialPath(const std::wstring& path);

// A transfer counts only if libcurl finished it, the file was closed without
// error and the last response was 200, or a 206 that continued the kept
// bytes of an earlier transfer.
bool DownloadSucceeded(int curlResult, long status, bool fileClosed, bool continued);
