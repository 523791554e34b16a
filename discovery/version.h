#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// A runtime version: four signed components, most significant first. 65535 is the open
/// value of an upper bound (a maximum of 1.8 is 1.8.65535.65535).
struct VersionNumber {
    std::int32_t components[4] = {0, 0, 0, 0};
    /// Digit groups ParseVersion saw (1 to 5; 5 = a fifth group was ignored); 0 after a
    /// failed parse; 4 for the bound "any". No comparison reads it.
    std::int32_t componentCount = 0;
};

inline constexpr std::int32_t kOpenVersionComponent = 65535;

/// Parses digit groups separated by any non-digit text; missing components get `fill`.
bool ParseVersion(std::wstring_view text, std::int32_t fill, VersionNumber& version);
std::wstring FormatVersion(const VersionNumber& version);
/// -1, 0 or +1, comparing the four components as signed numbers.
int CompareVersions(const VersionNumber& a, const VersionNumber& b);
/// True when the candidate equals the preference in every component before the
/// preference's trailing zeros.
bool VersionMatchesPreference(const VersionNumber& candidate, const VersionNumber& preferred);
/// True for 0.0.0.0 and 65535.65535.65535.65535.
bool IsUnboundedVersion(const VersionNumber& version);
