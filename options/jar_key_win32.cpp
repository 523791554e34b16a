#include "options/jar_key_win32.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "core/unique_handle_win32.h"
#include "options/class_sharing.h"

namespace {

bool ReadAt(HANDLE file, std::uint64_t offset, unsigned char* buffer, DWORD size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ::ReadFile(file, buffer, size, &got, &at) && got == size;
}

}  // namespace

std::uint64_t JarContentKey(const std::wstring& path, std::uint64_t size) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file || size == 0) return 0;
    const DWORD tailSize = static_cast<DWORD>(size < kZipTailSize ? size : kZipTailSize);
    std::vector<unsigned char> tail(tailSize);
    if (!ReadAt(file.get(), size - tailSize, tail.data(), tailSize)) return 0;
    std::optional<ZipDirectory> directory = FindZipDirectory(tail.data(), tail.size(), size);
    if (!directory) return ContentChecksum(tail.data(), tail.size());
    const std::uint64_t tailStart = size - tailSize;
    if (directory->offset >= tailStart) {
        return ContentChecksum(tail.data() + (directory->offset - tailStart), directory->size);
    }
    // A directory larger than the tail: FindZipDirectory has checked that it ends before the
    // end record, which lies in the tail.
    std::vector<unsigned char> bytes(directory->size);
    if (!ReadAt(file.get(), directory->offset, bytes.data(), static_cast<DWORD>(bytes.size()))) return 0;
    return ContentChecksum(bytes.data(), bytes.size());
}
