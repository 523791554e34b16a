#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/settings_store.h"

// Configuration files saved as UTF-8 (Notepad's default today, with or without the
// byte-order mark). The profile functions would read them in the ANSI code page, so they
// are read here with the settings parser under the profile functions' lookup rules.

/// True for a file that starts with the UTF-8 byte-order mark, or whose bytes are valid
/// UTF-8 and contain at least one multi-byte sequence. ASCII-only, ANSI and UTF-16 files
/// are not (they keep the profile functions).
bool IsUtf8SettingsFile(std::string_view bytes);

/// UTF-8 to the wide strings of the launcher (surrogate pairs where wchar_t is 16 bits).
/// The caller checked validity; anything invalid becomes U+FFFD.
std::wstring DecodeUtf8Text(std::string_view bytes);
/// The reverse; a lone surrogate becomes U+FFFD.
std::string EncodeUtf8Text(std::wstring_view text);

/// The settings of a UTF-8 file: the byte-order mark dropped, "\n" line ends accepted.
void ParseUtf8Settings(SettingsDocument& document, std::string_view bytes);

/// The value the profile functions would return: section and key names matched without
/// regard to case, the first match wins, one pair of enclosing quotes removed. Empty when
/// missing.
std::wstring FindProfileValue(const SettingsDocument& document, std::wstring_view section,
                              std::wstring_view key);

/// `text` with `key` of `section` set to `value`, every other line (and its line end) kept
/// as it was: the first matching key line is rewritten in place; a missing key is added
/// after the section's last key line; a missing section is added at the end.
std::wstring RewriteSettingsValue(std::wstring_view text, std::wstring_view section,
                                  std::wstring_view key, std::wstring_view value);

/// Letter case folded the way the profile functions compare names (ASCII, Latin-1, Greek
/// and Cyrillic letters).
bool EqualNamesIgnoringCase(std::wstring_view a, std::wstring_view b);
