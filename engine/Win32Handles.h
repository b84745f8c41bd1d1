// Owning wrappers for the Win32 handles the product opens, so every way out closes them.
#pragma once
#include <windows.h>

#include <memory>

// A handle closed with CloseHandle: files, events, threads, processes. Calls that fail
// return either null or INVALID_HANDLE_VALUE depending on the call, so both count as empty.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE h) : h_(h) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : h_(other.release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    explicit operator bool() const { return valid(); }
    HANDLE get() const { return h_; }
    // Gives the handle up without closing it; the wrapper is empty afterwards.
    HANDLE release() {
        HANDLE h = h_;
        h_ = nullptr;
        return h;
    }
    void reset(HANDLE h = nullptr) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_ = nullptr;
};

// A directory search handle, closed with FindClose.
class FindHandle {
public:
    explicit FindHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~FindHandle() {
        if (valid()) FindClose(h_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// A loaded library, freed with FreeLibrary.
struct ModuleFreer {
    void operator()(HINSTANCE__* module) const { FreeLibrary(module); }
};
using OwnedModule = std::unique_ptr<HINSTANCE__, ModuleFreer>;
