#include "options/jar_key_win32.h"

#include <windows.h>
#include <winternl.h>

#include <optional>
#include <vector>

#include "core/format.h"
#include "core/unique_handle_win32.h"

namespace {

bool ReadAt(HANDLE file, std::uint64_t offset, unsigned char* buffer, DWORD size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ::ReadFile(file, buffer, size, &got, &at) && got == size;
}

using QueryAttributes = NTSTATUS(NTAPI*)(POBJECT_ATTRIBUTES, FILE_NETWORK_OPEN_INFORMATION*);
using ToNtPath = BOOLEAN(NTAPI*)(PCWSTR, PUNICODE_STRING, PCWSTR*, void*);
using FreeText = void(NTAPI*)(PUNICODE_STRING);

/// A file's change time, asked by name without opening it (the only call that gives it so);
/// nothing when it cannot be had.
std::optional<std::uint64_t> ChangeTime(const std::wstring& path) {
    static const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    static const auto query = GetProcAddressAs<QueryAttributes>(ntdll, "NtQueryFullAttributesFile");
    static const auto toNt = GetProcAddressAs<ToNtPath>(ntdll, "RtlDosPathNameToNtPathName_U");
    static const auto release = GetProcAddressAs<FreeText>(ntdll, "RtlFreeUnicodeString");
    if (!query || !toNt || !release) return std::nullopt;
    UNICODE_STRING name{};
    if (!toNt(path.c_str(), &name, nullptr, nullptr)) return std::nullopt;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    FILE_NETWORK_OPEN_INFORMATION information{};
    const NTSTATUS status = query(&attributes, &information);
    release(&name);
    if (status < 0 || information.ChangeTime.QuadPart == 0) return std::nullopt;
    return static_cast<std::uint64_t>(information.ChangeTime.QuadPart);
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

JarKeys::JarKeys(std::wstring file) : file_(std::move(file)) {
    if (file_.empty()) return;
    UniqueFileHandle handle(::CreateFileW(file_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    // A few hundred bytes a jar; a file of more than 64 MB is not one of ours.
    if (!handle || !::GetFileSizeEx(handle.get(), &size) || size.QuadPart > (64 << 20)) return;
    std::wstring text(static_cast<std::size_t>(size.QuadPart) / sizeof(wchar_t), L'\0');
    DWORD got = 0;
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!::ReadFile(handle.get(), text.data(), bytes, &got, nullptr) || got != bytes) return;
    for (JarKeyRecord& record : ParseJarKeys(text)) {
        std::wstring path = record.path;
        remembered_.emplace(std::move(path), std::move(record));
    }
}

std::uint64_t JarKeys::Key(const std::wstring& path, std::uint64_t size, std::uint64_t writeTime) {
    std::optional<std::uint64_t> change = ChangeTime(path);
    if (!change) return JarContentKey(path, size);
    auto found = remembered_.find(path);
    if (found != remembered_.end() && found->second.size == size && found->second.writeTime == writeTime &&
        found->second.changeTime == *change) {
        used_[path] = found->second;
        return found->second.key;
    }
    JarKeyRecord record{path, size, writeTime, *change, JarContentKey(path, size)};
    used_[path] = record;
    changed_ = true;
    return record.key;
}

bool JarKeys::Save() const {
    if (!changed_ || file_.empty()) return true;
    std::vector<JarKeyRecord> records;
    records.reserve(used_.size());
    for (const auto& [path, record] : used_) records.push_back(record);
    const std::wstring text = FormatJarKeys(records);
    // Written aside and moved in place: another start may be reading it.
    const std::wstring temporary = file_ + L"." + DecimalText(::GetCurrentProcessId()) + L".tmp";
    {
        UniqueFileHandle handle(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (!handle || !::WriteFile(handle.get(), text.data(), bytes, &written, nullptr) || written != bytes) {
            handle.reset();
            ::DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (::MoveFileExW(temporary.c_str(), file_.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    ::DeleteFileW(temporary.c_str());
    return false;
}
