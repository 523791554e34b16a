#pragma once

#include <string>
#include <vector>

#include "core/version_number.h"

// Part of the Launcher state; discovery/criteria.h builds the criteria from the configuration.

enum class JvmTypeMode { AnyVm = 0, ServerOnly = 1, FavorServer = 2 };

struct ProviderPreference {
    bool allowed = false;
    bool favoured = false;
};

/// What a registered runtime must satisfy, filled from the configuration.
struct RuntimeSearchCriteria {
    VersionNumber MinimumVersion;
    VersionNumber MaximumVersion;
    std::vector<std::wstring> PreferredVersions;
    JvmTypeMode JvmType = JvmTypeMode::AnyVm;
    bool BothKinds = true;
    bool WantJdk = false;
    bool WantJre = false;
    ProviderPreference Sun{true, true};
    ProviderPreference JRockit;
    ProviderPreference Ibm;
};
