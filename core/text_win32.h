#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// Conversions at the system boundaries, one place each.

/// UTF-16 to the process ANSI code page (CP_ACP, the one the VM decodes in, whatever the
/// thread's locale); unmappable characters become the code page's default character.
std::string ToProcessAnsi(std::wstring_view text);
/// UTF-16 to `codePage` without best-fit substitutes. False when some character has no exact
/// equivalent there; `out` then holds the code page's default character in its place.
bool ToCodePageExact(UINT codePage, std::wstring_view text, std::string& out);
/// `codePage` to UTF-16 (CP_ACP for what the profile functions wrote).
std::wstring FromCodePage(UINT codePage, std::string_view text);
/// The process ANSI code page (CP_ACP, the one the VM reads its options in) to UTF-16.
std::wstring FromProcessAnsi(std::string_view text);
/// Standard UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring FromUtf8(std::string_view text);

/// Calls `fill(buffer, capacity)` with a buffer that doubles from `initial` characters until
/// the text fits. `fill` returns the length written, or kGrowBuffer when the buffer was too
/// small; anything above the capacity also asks for a larger buffer. Returns false (and an
/// empty `out`) when `fill` reports kBufferFailed.
inline constexpr DWORD kGrowBuffer = 0xFFFFFFFFu;
inline constexpr DWORD kBufferFailed = 0xFFFFFFFEu;
template <typename Fill>
bool FillGrowingBuffer(std::wstring& out, DWORD initial, Fill fill) {
    out.clear();
    std::wstring buffer;
    DWORD capacity = initial ? initial : 1;
    for (;;) {
        buffer.assign(capacity, L'\0');
        DWORD written = fill(buffer.data(), capacity);
        if (written == kBufferFailed) return false;
        if (written != kGrowBuffer && written < capacity) {
            buffer.resize(written);
            out = std::move(buffer);
            return true;
        }
        if (capacity > 0x3FFFFFFFu) return false;
        capacity = (written != kGrowBuffer && written > capacity * 2) ? written + 1 : capacity * 2;
    }
}
