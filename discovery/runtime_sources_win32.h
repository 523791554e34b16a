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

/// One HKEY_LOCAL_MACHINE key opened for reading in a view (HKEY_CURRENT_USER for
/// RegistryView::CurrentUser); closed when destroyed. A key that cannot be opened has no
/// subkeys and no values.
class RegistryKeyReader {
  public:
    RegistryKeyReader(const std::wstring& path, RegistryView view);
    /// Subkey names in enumeration order, up to the first enumeration error.
    std::vector<std::wstring> SubkeyNames() const;
    /// A string value: the text ends at the first NUL or at the end of the data, whichever
    /// comes first. REG_SZ is taken as it is; REG_EXPAND_SZ has its environment references
    /// expanded, as that type asks of its readers; a value from the alternate view has the
    /// program folders of its own view, not of this process. Other types are not text: false.
    bool ReadText(const std::wstring& name, std::wstring& text) const;

  private:
    UniqueHKey key_;
    RegistryView view_;
};

class Win32RegistryAccess : public RegistryAccess {
  public:
    std::vector<std::wstring> SubkeyNames(const std::wstring& path, RegistryView view) override;
    bool ReadText(const std::wstring& path, const std::wstring& name, RegistryView view,
                  std::wstring& text) override;
};

/// The file queries of the runtime search; paths of 260 characters or more take the
/// long-path form.
class Win32FileProbe : public FileProbe {
  public:
    bool Exists(const std::wstring& path) override;
    bool FolderExists(const std::wstring& folder) override;
    bool ReadSmallFile(const std::wstring& path, std::string& bytes) override;
    std::optional<std::uint16_t> ImageMachine(const std::wstring& path) override;
};

/// The Machine field of the PE image at `path`, read from a read-only view of the file;
/// nothing when it cannot be read or is not a PE image.
std::optional<std::uint16_t> ReadImageMachine(const std::wstring& path);
