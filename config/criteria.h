#pragma once

#include "core/runtime_criteria.h"
#include "core/version.h"

#include <string>
#include <string_view>
#include <vector>

/// The raw values of the criteria keys of section "Java Runtime Environment", as the
/// layered store reads them (an absent key is the empty string).
struct RuntimeCriteriaKeys {
    std::wstring JvmType;            ///< "JVM Type"
    std::wstring JvmSource;          ///< "JVM Source"
    std::wstring VmProvider;         ///< "VM Provider"
    std::wstring MinimumVersion;     ///< "Minimum Version"
    std::wstring MaximumVersion;     ///< "Maximum Version"
    std::wstring PreferredVersions;  ///< "Preferred versions"
    std::wstring VendorRuntimes;     ///< "Vendor Runtimes"
    std::wstring UseJavaHome;        ///< "Use JAVA_HOME"
};

/// Turns the key values into criteria. Unknown words fall back silently: "JVM Type" to
/// AnyVm, "VM Provider" to Sun only, "JVM Source" to no registry root at all, "Vendor
/// Runtimes" to fallback, "Use JAVA_HOME" to no.
RuntimeSearchCriteria BuildSearchCriteria(const RuntimeCriteriaKeys& keys);

/// IBM runtimes are allowed: the VM thread stays parked after main returns
/// (Launcher::KeepVmThreadParked).
bool KeepsVmThreadParked(const RuntimeSearchCriteria& criteria);

/// The OpenJDK vendors' runtimes carry on Sun's: they are allowed wherever Sun runtimes are
/// (the default, the favor_ values and "any"), and never favoured; "jrockit" and "ibm"
/// leave them out.
bool AllowsVendorRuntimes(const RuntimeSearchCriteria& criteria);

/// "JVM Type": exactly "server" or "favor_server", letter case significant.
JvmTypeMode ParseJvmType(std::wstring_view value);
