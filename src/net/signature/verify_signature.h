// Checking a downloaded file against its minisign signature, fetched from
// beside it on the same server.
#pragma once

#include "net/signature/arrived_hash.h"
#include "net/net.h"
#include "net/part_file.h"

#include <string>

// With a built-in key, whether the whole part carries the publisher's
// signature, fetched from url + ".minisig"; logged when it does not. Without
// a key, true and nothing is asked for. arrived holds the hash of the part's
// bytes as they were written.
bool SignatureHolds(const PartFile& part, const std::string& url, const DownloadProgress& progress,
                    ArrivedHash& arrived);

// Whether the file at path is what sigText (a .minisig) signs with the key
// (a minisign.pub base64 line), for the runtime file named fileName. False
// with the reason, in a few words, in `reason`. prehash is the file's
// BLAKE2b-512 hash when it was taken as the bytes arrived; null, the file is
// read for it.
bool VerifyFileSignature(const std::wstring& path, const std::string& sigText,
                         const std::string& fileName, const char* key, std::wstring& reason,
                         const unsigned char* prehash = nullptr);
