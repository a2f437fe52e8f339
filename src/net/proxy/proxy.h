// The route of each server: the proxy the player's Windows settings choose
// for it, or none. The environment's proxy variables are never read.
#pragma once

#include <curl/curl.h>

#include <functional>
#include <string>

// Chooses url's server's route, at its first request of the run, unless
// known; tick runs every frame while a proxy script is asked.
void ChooseRoute(const std::string& url, const std::function<void()>& tick);

// Sets libcurl's proxy options for url: its server's route, chosen at the
// server's first request of the run and logged then ("Proxy: host:port" or
// "Proxy: none"). Proxy authentication is the player's Windows logon.
bool SetProxyOptions(CURL* curl, const std::string& url);

// Passes result on; when the transfer failed at the proxy (unreachable, its
// CONNECT refused or not authenticated), url's server goes direct for the
// rest of the run.
CURLcode NoteProxyOutcome(const std::string& url, CURL* curl, CURLcode result);

// True once after url's server was sent direct: the failed request is tried
// there.
bool TakeDirectRetry(const std::string& url);
