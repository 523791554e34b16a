#pragma once

#include <windows.h>

#include "core/unique_handle_win32.h"
#include "discovery/runtime_sources.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// The access flags for a registry view: KEY_READ, plus the view flag for the alternate
/// view (KEY_WOW64_32KEY in the 64-bit build, KEY_WOW64_64KEY in the 32-bit build).
REGSAM RegistryViewAccess(RegistryView view);

/// One HKEY_LOCAL_MACHINE key opened for reading in a view; closed when destroyed. A key that
/// cannot be opened has no subkeys and no values.
class RegistryKeyReader {
  public:
    RegistryKeyReader(const std::wstring& path, RegistryView view);
    bool IsOpen() const { return static_cast<bool>(key_); }
    /// Subkey names in enumeration order, up to the first enumeration error.
    std::vector<std::wstring> SubkeyNames() const;
    /// A string value: the text ends at the first NUL or at the end of the data, whichever
    /// comes first. REG_SZ is taken as it is; REG_EXPAND_SZ has its environment references
    /// expanded, as that type asks of its readers. Other types are not text: false.
    bool ReadText(const std::wstring& name, std::wstring& text) const;

  private:
    UniqueHKey key_;
};

class Win32RegistryAccess : public RegistryAccess {
  public:
    std::vector<std::wstring> SubkeyNames(const std::wstring& path, RegistryView view) override;
    bool ReadText(const std::wstring& path, const std::wstring& name, RegistryView view,
                  std::wstring& text) override;
};

class Win32FileProbe : public FileProbe {
  public:
    bool Exists(const std::wstring& path) override;
};

/// The Machine field of the PE image at `path`, read from a read-only view of the file;
/// nothing when it cannot be read or is not a PE image.
std::optional<std::uint16_t> ReadImageMachine(const std::wstring& path);
