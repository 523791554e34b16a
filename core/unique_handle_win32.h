#pragma once

#include <windows.h>

/// Owns one Windows handle of the kind described by Traits and closes it exactly once.
template <typename Traits>
class UniqueAny {
public:
    using pointer = typename Traits::Type;

    UniqueAny() noexcept = default;
    explicit UniqueAny(pointer value) noexcept : value_(value) {}
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }
    pointer release() noexcept {
        pointer value = value_;
        value_ = Traits::Invalid();
        return value;
    }
    void reset(pointer value = Traits::Invalid()) noexcept {
        if (value_ != Traits::Invalid()) Traits::Close(value_);
        value_ = value;
    }
    /// Closes the current value and returns its address for APIs that fill it.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::Invalid();
};

namespace handle_traits {
struct Handle {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};
struct FileHandle {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};
struct FindHandle {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};
struct HKey {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};
struct HModule {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::FreeLibrary(h); }
};
struct Hwnd {
    using Type = HWND;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyWindow(h); }
};
struct GdiObject {
    using Type = HGDIOBJ;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};
struct Icon {
    using Type = HICON;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyIcon(h); }
};
struct MemoryDc {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteDC(h); }
};
struct MappedView {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type view) noexcept { ::UnmapViewOfFile(view); }
};
/// Ownership of a mutex this thread acquired (the handle itself is owned elsewhere).
struct MutexOwnership {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::ReleaseMutex(h); }
};
struct LocalMemory {
    using Type = HLOCAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type memory) noexcept { ::LocalFree(memory); }
};
}  // namespace handle_traits

using UniqueHandle = UniqueAny<handle_traits::Handle>;
using UniqueFileHandle = UniqueAny<handle_traits::FileHandle>;
using UniqueFindHandle = UniqueAny<handle_traits::FindHandle>;
using UniqueHKey = UniqueAny<handle_traits::HKey>;
using UniqueHModule = UniqueAny<handle_traits::HModule>;
using UniqueHwnd = UniqueAny<handle_traits::Hwnd>;
using UniqueGdiObject = UniqueAny<handle_traits::GdiObject>;
using UniqueMemoryDc = UniqueAny<handle_traits::MemoryDc>;
using UniqueIcon = UniqueAny<handle_traits::Icon>;
using UniqueMappedView = UniqueAny<handle_traits::MappedView>;
/// Releases an acquired mutex; reset() releases it early.
using UniqueMutexOwnership = UniqueAny<handle_traits::MutexOwnership>;
/// Memory the system allocated for the caller with LocalAlloc (SIDs as text, descriptors).
using UniqueLocalMemory = UniqueAny<handle_traits::LocalMemory>;

/// Typed GetProcAddress: casts once, here.
template <typename Fn>
Fn GetProcAddressAs(HMODULE module, const char* name) noexcept {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

/// A window's device context (GetDC), given back with ReleaseDC; null window: the screen.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

/// The painting context of WM_PAINT: BeginPaint now, EndPaint when the scope ends.
class PaintDc {
public:
    explicit PaintDc(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~PaintDc() { ::EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

/// Selects an object into a device context and selects the previous one back at scope end;
/// a null object or context selects nothing.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (previous_) ::SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

/// Holds an SRW lock for the life of the guard, taken and given back by the functions of
/// one mode.
template <void(WINAPI* Acquire)(PSRWLOCK), void(WINAPI* Release)(PSRWLOCK)>
class SrwLockGuard {
public:
    explicit SrwLockGuard(SRWLOCK& lock) noexcept : lock_(lock) { Acquire(&lock_); }
    ~SrwLockGuard() { Release(&lock_); }
    SrwLockGuard(const SrwLockGuard&) = delete;
    SrwLockGuard& operator=(const SrwLockGuard&) = delete;

private:
    SRWLOCK& lock_;
};

using SrwExclusiveLock = SrwLockGuard<::AcquireSRWLockExclusive, ::ReleaseSRWLockExclusive>;
/// For readers: several may hold it at once.
using SrwSharedLock = SrwLockGuard<::AcquireSRWLockShared, ::ReleaseSRWLockShared>;
