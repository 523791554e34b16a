#pragma once

#include <string>
#include <vector>

#include "core/version_number.h"

// Part of the Launcher state; config/criteria.h builds the criteria from the configuration.

enum class JvmTypeMode { AnyVm = 0, ServerOnly = 1, FavorServer = 2 };

/// "Vendor Runtimes": when the registry keys of the OpenJDK vendors' installers are searched.
enum class VendorRuntimesMode {
    Fallback,  ///< only when no other source yields an acceptable runtime (the default)
    Yes,       ///< together with the other registry roots, sorted with their runtimes
    No,        ///< never
};

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
    VendorRuntimesMode VendorRuntimes = VendorRuntimesMode::Fallback;
    /// "Use JAVA_HOME": the folder the variable names is tried before the registry.
    bool UseJavaHome = false;
    /// The processor of the running build decides which VM libraries load in process and
    /// which belong to the pair product; the Win32 layer sets it.
    bool HostIs64Bit = true;
};
