#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// A file name cut at its first and last "%": the date/time pictures sit between them.
struct TimePatternParts {
    std::wstring prefix;   ///< text before the first "%"
    std::wstring pattern;  ///< text strictly between the first and the last "%"
    std::wstring suffix;   ///< text after the last "%"
};

/// Splits a file name around its pattern; nothing when the name holds no "%". A single "%"
/// gives an empty pattern.
std::optional<TimePatternParts> SplitTimePattern(std::wstring_view name);

/// Replaces every upper-case "L" by the milliseconds in decimal without leading zeros.
std::wstring ReplaceMilliseconds(std::wstring_view pattern, int milliseconds);

/// Cuts a picture into pieces of at most `limit` characters, only between pictures: a run
/// of one repeated character and a quoted literal stay whole (a literal longer than the
/// limit becomes several quoted literals). Formatting the pieces one by one gives the same
/// text as formatting the whole, and keeps each result short: some system formatters write
/// longer results into fixed internal buffers.
std::vector<std::wstring> SplitPicture(std::wstring_view picture, std::size_t limit);

inline constexpr std::size_t kPicturePieceLimit = 48;

/// Formats a picture for one instant; nothing when the system formatter refuses it.
using PictureFormatter = std::function<std::optional<std::wstring>(const std::wstring& picture)>;

/// Expands the date/time pattern of a file name: milliseconds first, then the time pictures
/// (`formatTime`), then the date pictures (`formatDate`) over the time result, piece by
/// piece (SplitPicture), so results of any length are kept whole. Both "%" signs disappear. A
/// formatter that refuses its picture leaves that picture as it was, so the name stays usable. A
/// name without "%" comes back unchanged.
std::wstring ExpandTimePattern(std::wstring_view name, int milliseconds,
                               const PictureFormatter& formatTime,
                               const PictureFormatter& formatDate);
