#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "brand/byte_view.h"

inline constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;

/// The parts of a VS_VERSIONINFO resource that matter: the fixed block, one string table
/// with its language and code page, in the order the strings were stored.
struct VersionInfo {
    /// VS_FIXEDFILEINFO as 13 double words; [2..3] file version, [4..5] product version.
    std::array<std::uint32_t, 13> fixed{kFixedInfoSignature, 0x00010000, 0, 0, 0, 0, 0x3F, 0,
                                        0x00040004,          1,          0, 0, 0};
    std::uint16_t language = 0x0409;
    std::uint16_t code_page = 1200;
    std::vector<std::pair<std::u16string, std::u16string>> strings;

    /// Replaces the value of `key`, or adds it at the end.
    void Set(const std::u16string& key, const std::u16string& value);
};

/// Reads a VS_VERSIONINFO resource; false with a message when its blocks do not nest.
bool ParseVersionInfo(ByteView bytes, VersionInfo* info, std::string* error);

std::vector<std::uint8_t> BuildVersionInfo(const VersionInfo& info);

/// "1", "1.2", "1.2.3" or "1.2.3.4", each part 0..65535, as the two double words of the
/// fixed block (missing parts are 0).
std::optional<std::array<std::uint32_t, 2>> ParseVersionNumber(const std::string& text);
