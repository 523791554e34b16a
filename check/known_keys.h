#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/settings_store.h"

// The sections and keys the launcher reads, so that vmbootcheck can point out the ones it
// would ignore without a word: a misspelt key, a key in another section.

/// One key (or, with an empty `key`, one whole section) of a configuration file that the
/// launcher does not read where it stands.
struct KeyNote {
    std::wstring section;
    std::wstring key;
    /// "unknown-section", "unknown-key", or "misplaced-key" (then `belongsIn` names the
    /// section the launcher reads it from).
    const char* kind = "";
    std::wstring belongsIn;
};

/// Every section and key of `document` that the launcher would not read. An append
/// section ("Application+") takes the keys of its section; "Product Information" and
/// "Display" have none, as their keys are read from the file alone. Names compare as the
/// profile functions compare them.
std::vector<KeyNote> CheckConfigurationKeys(const SettingsDocument& document);

/// A section named more than once. The launcher reads only the first (as the profile
/// functions do), so every key under a later one goes unread.
struct RepeatedSection {
    std::wstring section;            ///< the later header's name, as written
    std::vector<std::wstring> keys;  ///< its keys, in file order
};

/// Every later header of a section already named, in file order; `document` must keep
/// duplicates (as ParseSettingsText does).
std::vector<RepeatedSection> FindRepeatedSections(const SettingsDocument& document);

/// The word a key needs when `value` differs from it only in letter case: "Single
/// Instance", "Output Append" and "Error Append" take only "yes", "Application Type" only
/// "service". Empty when the value is right, or differs in more than case.
std::wstring CaseOnlyMismatch(std::wstring_view key, std::wstring_view value);
