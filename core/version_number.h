#pragma once

#include <cstdint>

/// A runtime version: four signed components, most significant first. 65535 is the open
/// value of an upper bound (a maximum of 1.8 is 1.8.65535.65535).
struct VersionNumber {
    std::int32_t components[4] = {0, 0, 0, 0};
    /// Digit groups ParseVersion saw (1 to 5; 5 = a fifth group was ignored); 0 after a
    /// failed parse; 4 for the bound "any". No comparison reads it.
    std::int32_t componentCount = 0;
};

inline constexpr std::int32_t kOpenVersionComponent = 65535;
