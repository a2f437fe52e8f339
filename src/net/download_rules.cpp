// URL building and the success rule of a download.
#include "net/download_rules.h"

#include <algorithm>

std::wstring DownloadUrl(const std::wstring& baseUrl, const std::wstring& relativePath) {
    std::wstring tail = relativePath;
    std::replace(tail.begin(), tail.end(), L'\\', L'/');
    return baseUrl + tail;
}

std::wstring PartialPath(const std::wstring& path) {
    return path + L".part";
}

bool DownloadSucceeded(int curlResult, long status, bool fileClosed, bool continued) {
    // Unasked for, a 206 or a 304 is no more a copy of the file than a 404 is.
    return curlResult == 0 && fileClosed && (status == 200 || (status == 206 && continued));
}
