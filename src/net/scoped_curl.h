// Owners of libcurl's handles, so every early return of a download releases
// what it took. Only the download code includes libcurl's header.
#pragma once

#include <curl/curl.h>

#include <utility>

// One easy handle, one per transfer attempt.
class ScopedCurl {
  public:
    ScopedCurl() : curl_(curl_easy_init()) {}
    ~ScopedCurl() {
        if (curl_)
            curl_easy_cleanup(curl_);
    }
    ScopedCurl(const ScopedCurl&) = delete;
    ScopedCurl& operator=(const ScopedCurl&) = delete;

    CURL* get() const { return curl_; }

  private:
    CURL* curl_;
};

// A multi handle driving one easy handle, detached again before either goes.
class ScopedCurlMulti {
  public:
    explicit ScopedCurlMulti(CURL* easy) : multi_(curl_multi_init()), easy_(easy) {
        if (multi_ && curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
            curl_multi_cleanup(multi_);
            multi_ = nullptr;
        }
    }
    ~ScopedCurlMulti() {
        if (multi_) {
            curl_multi_remove_handle(multi_, easy_);
            curl_multi_cleanup(multi_);
        }
    }
    ScopedCurlMulti(const ScopedCurlMulti&) = delete;
    ScopedCurlMulti& operator=(const ScopedCurlMulti&) = delete;

    CURLM* get() const { return multi_; }

  private:
    CURLM* multi_;
    CURL* easy_;
};

// The connections and TLS sessions every transfer of a run shares, so the
// files and their signatures reach a server over one connection. The program
// has one thread, so the share needs no lock callbacks.
class ScopedCurlShare {
  public:
    ScopedCurlShare() : share_(curl_share_init()) {
        if (share_ &&
            (curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT) != CURLSHE_OK ||
             curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) !=
                 CURLSHE_OK)) {
            curl_share_cleanup(share_);
            share_ = nullptr;
        }
    }
    ~ScopedCurlShare() {
        if (share_)
            curl_share_cleanup(share_);
    }
    ScopedCurlShare(const ScopedCurlShare&) = delete;
    ScopedCurlShare& operator=(const ScopedCurlShare&) = delete;

    CURLSH* get() const { return share_; }

  private:
    CURLSH* share_;
};

// A header list for CURLOPT_HTTPHEADER; it must outlive the transfer.
class ScopedCurlList {
  public:
    ScopedCurlList() = default;
    ~ScopedCurlList() { curl_slist_free_all(list_); }
    ScopedCurlList(const ScopedCurlList&) = delete;
    ScopedCurlList& operator=(const ScopedCurlList&) = delete;

    // False when libcurl could not copy the line; the list stays as it was.
    bool append(const char* line) {
        curl_slist* longer = curl_slist_append(list_, line);
        if (!longer)
            return false;
        list_ = longer;
        return true;
    }
    curl_slist* get() const { return list_; }

  private:
    curl_slist* list_ = nullptr;
};
