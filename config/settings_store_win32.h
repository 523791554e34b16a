#pragma once

#include <memory>
#include <string>

#include "config/settings_store.h"

/// A Windows profile (INI) file. Keeps no copy: every call goes to the profile functions,
/// so other processes' changes are seen at once. Names match without regard to case;
/// values come trimmed and unquoted, as the profile functions return them.
class IniSettingsStore : public SettingsStore {
  public:
    explicit IniSettingsStore(std::wstring path) : path_(std::move(path)) {}

    /// The whole value however long (the buffer grows until it fits); empty when missing.
    void GetString(const std::wstring& section, const std::wstring& key,
                   std::wstring& out) override;
    bool WriteString(const std::wstring& section, const std::wstring& key,
                     const std::wstring& value) override;

    const std::wstring& Path() const { return path_; }

    /// GetString of the file itself, whatever a derived store makes of GetString.
    std::wstring ReadFileValue(const std::wstring& section, const std::wstring& key);

    /// The file's settings when it is saved as UTF-8 (read again when its size or time
    /// changes); null for the files the profile functions read.
    const SettingsDocument* Utf8Document();

  private:
    /// Sets one key in a UTF-8 file, keeping its encoding and every other line. False when
    /// the file is not UTF-8 (`handled` false) or cannot be written.
    bool WriteUtf8Value(const std::wstring& section, const std::wstring& key,
                        const std::wstring& value, bool& handled);
    /// Sets one key whose text the ANSI code page cannot hold in a file that is not UTF-16
    /// (ANSI, empty or missing) by rewriting the file as UTF-16 with all its other lines.
    /// `handled` false when the profile functions can write it as it is.
    bool WriteUnicodeValue(const std::wstring& section, const std::wstring& key,
                           const std::wstring& value, bool& handled);

    std::wstring path_;
    struct Utf8Cache;
    std::shared_ptr<Utf8Cache> utf8_;
};

/// The file, then the file's "<section>+" append section. GetString is the layered read;
/// ReadFileValue and every other operation act on the file alone.
class LayeredSettingsStore : public IniSettingsStore {
  public:
    explicit LayeredSettingsStore(std::wstring path) : IniSettingsStore(std::move(path)) {}

    void GetString(const std::wstring& section, const std::wstring& key,
                   std::wstring& out) override;
    /// The layered value and the layer it came from, for diagnostics.
    LayeredValue GetStringWithSource(const std::wstring& section, const std::wstring& key);

    IniSettingsStore& File() { return *this; }
};
