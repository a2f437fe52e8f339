// Checking a downloaded file against its minisign signature.
#pragma once

#include <string>

// Whether the file at path is what sigText (a .minisig) signs with the key
// (a minisign.pub base64 line), for the runtime file named fileName. False
// with the reason, in a few words, in `reason`.
bool VerifyFileSignature(const std::wstring& path, const std::string& sigText,
                         const std::string& fileName, const char* key, std::wstring& reason);
