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

// Why a download failed, in the terms the player can act on.
enum class FetchFailure {
    None,
    NoConnection, // no server reached: offline, a refusing proxy, a time-out, a stall
    ClockWrong,   // a certificate refused as expired or not yet valid
    Intercepted,  // a certificate refused for another reason
    NotOnServer,  // the server has no such file (404 and the like)
    BadSignature, // the file is not signed by the publisher
    ServerFault,  // the server failed: 5xx, or a body too large or endless
    DiskFull,
    NotWritable,
};

struct DownloadFailure {
    FetchFailure kind = FetchFailure::None;
    // The server sent more than the rules allow: it is not asked again in
    // this run.
    bool serverBarred = false;
    // DiskFull: the free bytes the file needs, its reserve included (0: not
    // known), on the volume of folder; NotWritable: the folder.
    std::uint64_t bytesNeeded = 0;
    std::wstring folder;
};

// Fetches url into path. Only a whole file from a verified https server
// replaces path; any failure leaves path as it was, and says why in why. A
// transfer that broke off keeps path + ".part" (and ".part.info") for the
// next attempt to continue, and so does a whole one that could not be moved
// into place; transient failures are tried twice more.
bool DownloadFile(const std::wstring& url, const std::wstring& path,
                  const DownloadProgress& progress = {}, DownloadFailure* why = nullptr);

// libcurl's write callback: stream is the open output FILE*.
std::size_t WriteDownloadData(char* data, std::size_t size, std::size_t count, void* stream);

// Fetches a file of the installation by its relative path from the primary
// mirror and, failing that, from the main server; stored at that same path.
// why: the reason of the last server's failure.
bool DownloadFromMirrors(const std::wstring& relativePath, const DownloadProgress& progress = {},
                         DownloadFailure* why = nullptr);
