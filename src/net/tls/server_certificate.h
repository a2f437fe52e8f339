// The check of each server's certificate against the system's roots, for
// builds without a CA file of their own.
#pragma once

#include <curl/curl.h>

#include <string>

// One transfer's check: what refused its server, empty while nothing did.
struct ServerCheck {
    CURL* curl = nullptr;
    std::wstring refusal;
    // The refusal was of a certificate expired or not yet valid: the PC's
    // clock, most likely.
    bool timeInvalid = false;
    // libcurl's own words for a failed transfer (CURLOPT_ERRORBUFFER).
    char errorText[CURL_ERROR_SIZE] = {};
};

// libcurl's CURLOPT_PREREQFUNCTION, with the ServerCheck as its data.
// Without a CA file libcurl leaves the server to Schannel, which checks it on
// Windows but not under Wine; so every request is held until the server's
// chain has been built on the system's roots and has passed the SSL policy
// for its host name, and refused with the reason when not.
int CheckServerBeforeRequest(void* check, char* serverIp, char* localIp, int serverPort,
                             int localPort);
