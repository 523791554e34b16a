#include "discovery/version.h"

// Placeholder bodies; the full rules come with runtime discovery.
bool ParseVersion(std::wstring_view, std::int32_t, VersionNumber& version) {
    version = VersionNumber{};
    return false;
}
std::wstring FormatVersion(const VersionNumber&) { return L"0.0.0.0"; }
int CompareVersions(const VersionNumber&, const VersionNumber&) { return 0; }
bool VersionMatchesPreference(const VersionNumber&, const VersionNumber&) { return false; }
bool IsUnboundedVersion(const VersionNumber&) { return true; }
