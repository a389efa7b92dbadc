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

// An open registry key, closed with RegCloseKey.
class RegKey {
  public:
    RegKey() = default;
    RegKey(RegKey&& other) noexcept : key(std::exchange(other.key, nullptr)) {}
    RegKey& operator=(RegKey&& other) noexcept {
        reset(std::exchange(other.key, nullptr));
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() { reset(); }

    HKEY get() const { return key; }
    HKEY* put() {
        reset();
        return &key;
    }
    explicit operator bool() const { return key != nullptr; }
    void reset(HKEY k = nullptr) {
        if (key) RegCloseKey(key);
        key = k;
    }

  private:
    HKEY key = nullptr;
};

// A GDI object (brush, font, bitmap) deleted with DeleteObject.
template <class H> class GdiObject {
  public:
    GdiObject() = default;
    explicit GdiObject(H h) : object(h) {}
    GdiObject(GdiObject&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        reset(std::exchange(other.object, nullptr));
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { reset(); }

    H get() const { return object; }
    explicit operator bool() const { return object != nullptr; }
    void reset(H h = nullptr) {
        if (object) DeleteObject(object);
        object = h;
    }

  private:
    H object = nullptr;
};
using Brush = GdiObject<HBRUSH>;
using Font = GdiObject<HFONT>;
using Bitmap = GdiObject<HBITMAP>;

// A memory device context, deleted with DeleteDC.
class MemoryDC {
  public:
    MemoryDC() = default;
    explicit MemoryDC(HDC compatibleWith) : dc(CreateCompatibleDC(compatibleWith)) {}
    MemoryDC(MemoryDC&& other) noexcept : dc(std::exchange(other.dc, nullptr)) {}
    MemoryDC& operator=(MemoryDC&& other) noexcept {
        reset(std::exchange(other.dc, nullptr));
        return *this;
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    ~MemoryDC() { reset(); }

    HDC get() const { return dc; }
    operator HDC() const { return dc; }
    void reset(HDC h = nullptr) {
        if (dc) DeleteDC(dc);
        dc = h;
    }

  private:
    HDC dc = nullptr;
};

// A window's (or, for NULL, the screen's) device context, released with ReleaseDC.
class WindowDC {
  public:
    explicit WindowDC(HWND window) : hwnd(window), dc(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc) ReleaseDC(hwnd, dc);
    }
    operator HDC() const { return dc; }

  private:
    HWND hwnd;
    HDC dc;
};

// BeginPaint/EndPaint.
class PaintDC {
  public:
    explicit PaintDC(HWND window) : hwnd(window) { dc = BeginPaint(window, &paint); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { EndPaint(hwnd, &paint); }
    operator HDC() const { return dc; }

  private:
    HWND hwnd;
    PAINTSTRUCT paint{};
    HDC dc = nullptr;
};

// An object selected into a DC; the previous one comes back at the end of the scope.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object)
        : dc(dc), previous(object ? SelectObject(dc, object) : nullptr) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() {
        if (previous && previous != HGDI_ERROR) SelectObject(dc, previous);
    }

  private:
    HDC dc;
    HGDIOBJ previous;
};

// An icon loaded from the resources, destroyed with DestroyIcon.
class IconHandle {
  public:
    IconHandle() = default;
    explicit IconHandle(HICON h) : icon(h) {}
    IconHandle(const IconHandle&) = delete;
    IconHandle& operator=(const IconHandle&) = delete;
    ~IconHandle() { reset(); }
    HICON get() const { return icon; }
    void reset(HICON h = nullptr) {
        if (icon) DestroyIcon(icon);
        icon = h;
    }

  private:
    HICON icon = nullptr;
};

// The one critical section of the program, entered for a scope.
class LockGuard {
  public:
    explicit LockGuard(CRITICAL_SECTION& section) : section(section) {
        EnterCriticalSection(&section);
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
    ~LockGuard() { LeaveCriticalSection(&section); }

  private:
    CRITICAL_SECTION& section;
};
