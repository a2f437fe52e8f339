// Owners of what WinHTTP hands out: its handles and the strings it
// allocates for the caller.
#pragma once

#include <windows.h>
#include <winhttp.h>

class ScopedInternet {
  public:
    explicit ScopedInternet(HINTERNET h) : handle_(h) {}
    ~ScopedInternet() {
        if (handle_)
            WinHttpCloseHandle(handle_);
    }
    ScopedInternet(const ScopedInternet&) = delete;
    ScopedInternet& operator=(const ScopedInternet&) = delete;

    HINTERNET get() const { return handle_; }

  private:
    HINTERNET handle_;
};

// A string WinHTTP allocated with GlobalAlloc; null is none.
class ScopedGlobalText {
  public:
    explicit ScopedGlobalText(wchar_t* text) : text_(text) {}
    ~ScopedGlobalText() {
        if (text_)
            GlobalFree(text_);
    }
    ScopedGlobalText(const ScopedGlobalText&) = delete;
    ScopedGlobalText& operator=(const ScopedGlobalText&) = delete;

    const wchar_t* get() const { return text_ ? text_ : L""; }

  private:
    wchar_t* text_;
};
