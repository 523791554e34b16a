#include "config/criteria.h"

#include "core/path_utils.h"

namespace {

struct ProviderRow {
    const wchar_t* name;
    ProviderPreference sun;
    ProviderPreference jrockit;
    ProviderPreference ibm;
};

// The first row has an empty name and holds the defaults; a non-empty value never selects it.
constexpr ProviderRow kProviderRows[] = {
    {L"", {true, true}, {false, false}, {false, false}},
    {L"jrockit", {false, false}, {true, true}, {false, false}},
    {L"ibm", {false, false}, {false, false}, {true, true}},
    {L"favor_sun", {true, true}, {true, false}, {true, false}},
    {L"favor_jrockit", {true, false}, {true, true}, {true, false}},
    {L"favor_ibm", {true, false}, {true, false}, {true, true}},
    {L"any", {true, false}, {true, false}, {true, false}},
};

const ProviderRow& FindProviderRow(std::wstring_view value) {
    if (!value.empty()) {
        // Only ASCII letters occur in the provider names: an ASCII fold is the whole comparison.
        for (const ProviderRow& row : kProviderRows) {
            if (EqualsIgnoringAsciiCase(value, row.name)) return row;
        }
    }
    return kProviderRows[0];
}

VersionNumber AllOpen() {
    VersionNumber version;
    for (auto& component : version.components) component = kOpenVersionComponent;
    version.componentCount = 4;
    return version;
}

}  // namespace

JvmTypeMode ParseJvmType(std::wstring_view value) {
    if (value == L"server") return JvmTypeMode::ServerOnly;
    if (value == L"favor_server") return JvmTypeMode::FavorServer;
    return JvmTypeMode::AnyVm;
}

RuntimeSearchCriteria BuildSearchCriteria(const RuntimeCriteriaKeys& keys) {
    RuntimeSearchCriteria criteria;

    if (keys.MinimumVersion == L"any") {
        criteria.MinimumVersion = VersionNumber{};
        criteria.MinimumVersion.componentCount = 4;
    } else {
        ParseVersion(keys.MinimumVersion, 0, criteria.MinimumVersion);
    }
    if (keys.MaximumVersion == L"any" ||
        !ParseVersion(keys.MaximumVersion, kOpenVersionComponent, criteria.MaximumVersion)) {
        // A maximum that does not parse (empty, no digits, or a group too large) is no upper
        // bound; as 0.0.0.0 it would reject every registered runtime while the requirement
        // text, which reads 0.0.0.0 as unbounded, asked for the latest version.
        criteria.MaximumVersion = AllOpen();
    }

    criteria.PreferredVersions = SplitList(keys.PreferredVersions, L";");
    criteria.JvmType = ParseJvmType(keys.JvmType);

    const std::wstring& source = keys.JvmSource;
    if (source.empty()) {
        criteria.BothKinds = true;
        criteria.WantJdk = true;
        criteria.WantJre = true;
    } else if (source == L"favor_JRE") {
        criteria.BothKinds = true;
        criteria.WantJdk = false;
        criteria.WantJre = true;
    } else if (source == L"favor_JDK") {
        criteria.BothKinds = true;
        criteria.WantJdk = true;
        criteria.WantJre = false;
    } else if (source == L"only_JDK") {
        criteria.BothKinds = false;
        criteria.WantJdk = true;
        criteria.WantJre = false;
    } else if (source == L"only_JRE") {
        criteria.BothKinds = false;
        criteria.WantJdk = false;
        criteria.WantJre = true;
    } else {
        criteria.BothKinds = false;
        criteria.WantJdk = false;
        criteria.WantJre = false;
    }

    const ProviderRow& row = FindProviderRow(keys.VmProvider);
    criteria.Sun = row.sun;
    criteria.JRockit = row.jrockit;
    criteria.Ibm = row.ibm;

    if (EqualsIgnoringAsciiCase(keys.VendorRuntimes, L"yes")) {
        criteria.VendorRuntimes = VendorRuntimesMode::Yes;
    } else if (EqualsIgnoringAsciiCase(keys.VendorRuntimes, L"no")) {
        criteria.VendorRuntimes = VendorRuntimesMode::No;
    }
    criteria.UseJavaHome = EqualsIgnoringAsciiCase(keys.UseJavaHome, L"yes");
    return criteria;
}

bool AllowsVendorRuntimes(const RuntimeSearchCriteria& criteria) {
    return criteria.Sun.allowed;
}

bool KeepsVmThreadParked(const RuntimeSearchCriteria& criteria) {
    return criteria.Ibm.allowed || criteria.Ibm.favoured;
}
