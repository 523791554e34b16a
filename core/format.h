#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

/// One argument of a message template: a text for "%s" or a number for "%d" / "%u".
using FormatArg = std::variant<std::wstring_view, std::int64_t>;

/// Fills a printf-style message template. "%s" takes the next text, "%d" and "%u" the next
/// number (a text argument where a number is expected prints nothing, and vice versa);
/// "%%" is a percent sign; any other "%" sequence and any placeholder without an argument
/// is copied unchanged. Never reads past the arguments given.
std::wstring FormatTemplate(std::wstring_view tmpl, std::initializer_list<FormatArg> args);
