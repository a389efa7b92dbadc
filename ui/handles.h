// Owners for the few kinds of handle the program keeps, so no path can leak one.
#pragma once
#include <windows.h>

#include <utility>

// A kernel handle (thread, mutex, event) closed with CloseHandle.
class KernelHandle {
  public:
    KernelHandle() = default;
    explicit KernelHandle(HANDLE h) : handle(h) {}
    KernelHandle(KernelHandle&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    KernelHandle& operator=(KernelHandle&& other) noexcept {
        reset(std::exchange(other.handle, nullptr));
        return *this;
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    ~KernelHandle() { reset(); }

    HANDLE get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    void reset(HANDLE h = nullptr) {
        if (handle) CloseHandle(handle);
        handle = h;
    }

  private:
    HANDLE handle = nullptr;
};
