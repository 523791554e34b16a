#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
/// Fails (all components 0, count 0) on text without digits and on a digit group above
/// 2147483647.
bool ParseVersion(std::wstring_view text, std::int32_t fill, VersionNumber& version);
/// Dotted form without trailing 0 or 65535 components, at least two components
/// ("1.8", "11.0"); "0.0.0.0" for an unbounded version.
std::wstring FormatVersion(const VersionNumber& version);
/// -1, 0 or +1, comparing the four components as signed numbers.
int CompareVersions(const VersionNumber& a, const VersionNumber& b);
/// True when the candidate equals the preference in every component before the
/// preference's trailing zeros.
bool VersionMatchesPreference(const VersionNumber& candidate, const VersionNumber& preferred);
/// True for 0.0.0.0 and 65535.65535.65535.65535.
bool IsUnboundedVersion(const VersionNumber& version);

/// The phrase that describes a version range: a string-table id (217 to 221) and the
/// formatted versions to insert into it, in order.
struct VersionRequirementPhrase {
    int stringId = 0;
    std::vector<std::wstring> arguments;
};
VersionRequirementPhrase ChooseVersionRequirementPhrase(const VersionNumber& minimum,
                                                        const VersionNumber& maximum);
