// Move-only owners for the Win32 and C runtime resources the program
// acquires, so every early return releases what was taken.
#pragma once

#include <windows.h>
#include <tlhelp32.h>
#include <wincrypt.h>

#include <cstdio>
#include <memory>
#include <utility>

// A kernel handle; both null and INVALID_HANDLE_VALUE mean "nothing owned",
// because CreateFileW and CreateToolhelp32Snapshot fail with the latter.
class ScopedHandle {
  public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE h) : handle_(h) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE release() { return std::exchange(handle_, nullptr); }
    void reset(HANDLE h = nullptr) {
        if (valid())
            CloseHandle(handle_);
        handle_ = h;
    }

  private:
    HANDLE handle_ = nullptr;
};

// A named mutex and, once Acquire has succeeded, its ownership by this thread:
// released and closed on destruction, so a run that returns early frees the
// lock at once (the system frees it when the process dies).
class ScopedMutex {
  public:
    ScopedMutex() = default;
    explicit ScopedMutex(HANDLE h) : handle_(h) {}
    ~ScopedMutex() { reset(); }
    ScopedMutex(ScopedMutex&& other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)),
          owned_(std::exchange(other.owned_, false)) {}
    ScopedMutex& operator=(ScopedMutex&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
            owned_ = std::exchange(other.owned_, false);
        }
        return *this;
    }
    ScopedMutex(const ScopedMutex&) = delete;
    ScopedMutex& operator=(const ScopedMutex&) = delete;

    HANDLE get() const { return handle_; }
    bool owned() const { return owned_; }
    // Waits up to waitMs for ownership. A mutex left by an owner that died
    // (WAIT_ABANDONED) is ours all the same.
    bool Acquire(DWORD waitMs) {
        if (!handle_ || owned_)
            return owned_;
        DWORD result = WaitForSingleObject(handle_, waitMs);
        owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        return owned_;
    }
    void reset() {
        if (owned_)
            ReleaseMutex(handle_);
        owned_ = false;
        if (handle_)
            CloseHandle(handle_);
        handle_ = nullptr;
    }

  private:
    HANDLE handle_ = nullptr;
    bool owned_ = false;
};

// A window's device context from GetDC, given back with ReleaseDC.
class ScopedGetDC {
  public:
    explicit ScopedGetDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ScopedGetDC() {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;

    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// A pen, brush or font made for one drawing stage.
class ScopedGdiObject {
  public:
    explicit ScopedGdiObject(HGDIOBJ object) : object_(object) {}
    ~ScopedGdiObject() {
        if (object_)
            DeleteObject(object_);
    }
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;

    HGDIOBJ get() const { return object_; }

  private:
    HGDIOBJ object_;
};

// Selects an object into a DC and puts the previous one back. Declare it after
// the ScopedGdiObject it selects, so the object is deselected before deletion.
class ScopedSelect {
  public:
    ScopedSelect(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelect() {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The buffer that FormatMessageW allocates with FORMAT_MESSAGE_ALLOCATE_BUFFER.
class ScopedLocalText {
  public:
    ScopedLocalText() = default;
    ~ScopedLocalText() {
        if (text_)
            LocalFree(text_);
    }
    ScopedLocalText(const ScopedLocalText&) = delete;
    ScopedLocalText& operator=(const ScopedLocalText&) = delete;

    wchar_t* get() const { return text_; }
    // For FormatMessageW's "pointer to the buffer pointer" argument.
    wchar_t** out() { return &text_; }

  private:
    wchar_t* text_ = nullptr;
};

// A C runtime stream.
class ScopedFile {
  public:
    ScopedFile() = default;
    explicit ScopedFile(FILE* f) : file_(f) {}
    ~ScopedFile() { reset(); }
    ScopedFile(ScopedFile&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}
    ScopedFile& operator=(ScopedFile&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.file_, nullptr));
        return *this;
    }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;

    FILE* get() const { return file_; }
    // Closes now and reports whether the close (and so the final flush) worked.
    bool close() {
        if (!file_)
            return true;
        bool ok = fclose(std::exchange(file_, nullptr)) == 0;
        return ok;
    }
    void reset(FILE* f = nullptr) {
        if (file_)
            fclose(file_);
        file_ = f;
    }

  private:
    FILE* file_ = nullptr;
};

// A certificate and a chain built for it, from crypt32.
struct CertificateFree {
    void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
using ScopedCertificate = std::unique_ptr<const CERT_CONTEXT, CertificateFree>;
struct CertChainFree {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
using ScopedCertChain = std::unique_ptr<const CERT_CHAIN_CONTEXT, CertChainFree>;
