#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/version_number.h"

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
