#pragma once

#include "core/version.h"

#include <string>

/// The phrase for a version range (strings 217 to 221) in the user-interface language,
/// with the bounds inserted, e.g. "version between 1.6 and 1.8".
std::wstring DescribeVersionRequirement(const VersionNumber& minimum, const VersionNumber& maximum);
