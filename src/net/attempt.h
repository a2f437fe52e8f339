// One request of a download, into the download's part file.
#pragma once

#include "net/net.h"
#include "net/part_file.h"

#include <string>

enum class Outcome { Done, Failed, Retry, StartOver };

// Asks url for the file, continuing the part's kept bytes when their info
// allows (or placing them when they are the whole file); a whole file is
// checked and placed. Leaves the part and its info as the next attempt needs
// them; retryAfter gets the answer's Retry-After, failure why it failed.
Outcome RunAttempt(PartFile& part, const std::string& url, const DownloadProgress& progress,
                   std::string& retryAfter, DownloadFailure& failure);
