#pragma once

#include <optional>
#include <string_view>

struct RgbColor {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const RgbColor&, const RgbColor&) = default;
};

/// Parses a link colour as Internet Explorer stores it ("Anchor Color"): three decimal
/// numbers from 0 to 255 separated by commas, red first; spaces around a number are
/// allowed. Anything else (two numbers, a fourth, signs, overflow) gives nothing.
std::optional<RgbColor> ParseAnchorColor(std::wstring_view text);
