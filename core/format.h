#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

/// One argument of a message template: a text for "%s" or a number for "%d" / "%u".
using FormatArg = std::variant<std::wstring_view, std::int64_t>;

/// Fills a printf-style message template. "%s" takes the next text, "%d" and "%u" the next
/// number (a text argument where a number is expected prints nothing, and vice versa);
/// "%%" is a percent sign; any other "%" sequence and any placeholder without an argument
/// is copied unchanged. Never reads past the arguments given.
std::wstring FormatTemplate(std::wstring_view tmpl, std::initializer_list<FormatArg> args);

/// The decimal digits of an integer, with "-" when negative. std::to_wstring would format
/// through vswprintf, which links the C library's whole printf engine into the executable.
template <typename Integer>
std::wstring DecimalText(Integer value) {
    static_assert(std::is_integral_v<Integer>);
    using Unsigned = std::make_unsigned_t<Integer>;
    bool negative = false;
    auto magnitude = static_cast<Unsigned>(value);
    if constexpr (std::is_signed_v<Integer>) {
        if (value < 0) {
            negative = true;
            magnitude = static_cast<Unsigned>(Unsigned{0} - magnitude);
        }
    }
    wchar_t digits[24];
    wchar_t* end = digits + 24;
    wchar_t* first = end;
    do {
        *--first = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude = static_cast<Unsigned>(magnitude / 10);
    } while (magnitude != 0);
    if (negative) *--first = L'-';
    return std::wstring(first, end);
}

enum class HexLetters { Lower, Upper };

/// The last `digits` hexadecimal digits of `value`, with zeros in front. `Char` is the
/// string's character: wchar_t for the launcher, char16_t for resources the branding tool
/// writes.
template <typename Char = wchar_t>
std::basic_string<Char> HexText(std::uint64_t value, int digits,
                                HexLetters letters = HexLetters::Lower) {
    const char* const symbols =
        letters == HexLetters::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::basic_string<Char> text(static_cast<std::size_t>(digits), Char('0'));
    for (int i = digits - 1; i >= 0; --i, value >>= 4) {
        text[static_cast<std::size_t>(i)] = static_cast<Char>(symbols[value & 0xF]);
    }
    return text;
}
