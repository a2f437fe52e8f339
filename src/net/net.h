// Downloads: what the launch may call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Told, every few tens of milliseconds while a download runs or waits to be
// retried, how many bytes of the file have arrived and how many it has in all
// (0: not known). The thread's windows get their messages only from here.
using DownloadProgress = std::function<void(std::uint64_t received, std::uint64_t expected)>;

// Fetches url into path. Only a whole file from a verified https server
// replaces path; any failure leaves path as it was. A transfer that broke
// off keeps path + ".part" (and ".part.info") for the next attempt to
// continue; transient failures are tried twice more.
bool DownloadFile(const std::wstring& url, const std::wstring& path,
                  const DownloadProgress& progress = {});

// libcurl's write callback: stream is the open output FILE*.
std::size_t WriteDownloadData(char* data, std::size_t size, std::size_t count, void* stream);

// Fetches a file of the installation by its relative path from the primary
// mirror and, failing that, from the main server; stored at that same path.
bool DownloadFromMirrors(const std::wstring& relativePath, const DownloadProgress& progress = {});
