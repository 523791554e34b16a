#include "core/version.h"

#include "core/format.h"
#include "resources/resource_ids.h"

#include <limits>

namespace {

bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

bool ParseVersion(std::wstring_view text, std::int32_t fill, VersionNumber& version) {
    version = VersionNumber{};
    std::size_t position = 0;
    auto skipToDigit = [&] {
        while (position < text.size() && !IsAsciiDigit(text[position])) ++position;
        return position < text.size();
    };
    if (!skipToDigit()) return false;

    int group = 0;
    for (;;) {
        // Widened accumulation: a group above the largest signed 32-bit value (including
        // 2147483648 and 2147483649, which a check on the digits before the last one would
        // let through and wrap to a negative component) fails like any longer number.
        std::int64_t value = 0;
        while (position < text.size() && IsAsciiDigit(text[position])) {
            value = value * 10 + (text[position] - L'0');
            if (value > std::numeric_limits<std::int32_t>::max()) {
                version = VersionNumber{};
                return false;
            }
            ++position;
        }
        version.components[group] = static_cast<std::int32_t>(value);
        if (!skipToDigit()) break;
        ++group;
        if (group == 4) break;  // a fifth group is counted, never stored
    }
    version.componentCount = group + 1;
    for (int i = group + 1; i < 4; ++i) version.components[i] = fill;
    return true;
}

std::wstring FormatVersion(const VersionNumber& version) {
    int last = -1;
    for (int i = 3; i >= 0; --i) {
        if (version.components[i] != 0 && version.components[i] != kOpenVersionComponent) {
            last = i;
            break;
        }
    }
    if (last < 0) return L"0.0.0.0";
    if (last < 1) last = 1;
    std::wstring text;
    for (int i = 0; i <= last; ++i) {
        if (i) text += L'.';
        text += DecimalText(version.components[i]);
    }
    return text;
}

int CompareVersions(const VersionNumber& a, const VersionNumber& b) {
    for (int i = 0; i < 4; ++i) {
        if (a.components[i] < b.components[i]) return -1;
        if (a.components[i] > b.components[i]) return 1;
    }
    return 0;
}

bool VersionMatchesPreference(const VersionNumber& candidate, const VersionNumber& preferred) {
    int significant = 4;
    while (significant > 0 && preferred.components[significant - 1] == 0) --significant;
    for (int i = 0; i < significant; ++i) {
        if (candidate.components[i] != preferred.components[i]) return false;
    }
    return true;
}

bool IsUnboundedVersion(const VersionNumber& version) {
    const std::int32_t first = version.components[0];
    if (first != 0 && first != kOpenVersionComponent) return false;
    for (int i = 1; i < 4; ++i) {
        if (version.components[i] != first) return false;
    }
    return true;
}

VersionRequirementPhrase ChooseVersionRequirementPhrase(const VersionNumber& minimum,
                                                        const VersionNumber& maximum) {
    const bool noMinimum = IsUnboundedVersion(minimum);
    const bool noMaximum = IsUnboundedVersion(maximum);
    if (noMinimum && noMaximum) return {IDS_VERSION_LATEST, {}};
    if (noMinimum) return {IDS_VERSION_MAXIMUM, {FormatVersion(maximum)}};
    if (noMaximum) return {IDS_VERSION_MINIMUM, {FormatVersion(minimum)}};
    if (CompareVersions(minimum, maximum) == 0)
        return {IDS_VERSION_EXACT, {FormatVersion(minimum)}};
    return {IDS_VERSION_BETWEEN, {FormatVersion(minimum), FormatVersion(maximum)}};
}
