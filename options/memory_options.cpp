#include "options/memory_options.h"

#include "core/format.h"

#include <cmath>
#include <limits>

namespace {

template <typename Unsigned>
constexpr Unsigned kMaximum = std::numeric_limits<Unsigned>::max();

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

/// a * b, or nothing when the product does not fit.
template <typename Unsigned>
bool CheckedMultiply(Unsigned a, Unsigned b, Unsigned& product) {
    if (a != 0 && b > kMaximum<Unsigned> / a) return false;
    product = static_cast<Unsigned>(a * b);
    return true;
}

template <typename Unsigned>
Unsigned SaturatingMultiply(Unsigned a, Unsigned b) {
    Unsigned product;
    return CheckedMultiply(a, b, product) ? product : kMaximum<Unsigned>;
}

template <typename Unsigned>
Unsigned SaturatingAppendDigit(Unsigned number, unsigned digit) {
    Unsigned shifted;
    if (!CheckedMultiply<Unsigned>(number, 10, shifted)) return kMaximum<Unsigned>;
    if (shifted > kMaximum<Unsigned> - digit) return kMaximum<Unsigned>;
    return static_cast<Unsigned>(shifted + digit);
}

}  // namespace

bool IsPercentSizeOption(std::wstring_view option) {
    if (option.size() < 4) return false;
    std::wstring_view prefix = option.substr(0, 4);
    if (prefix != L"-Xms" && prefix != L"-Xmx" && prefix != L"-Xss") return false;
    wchar_t last = option.back();
    return last == L'P' || last == L'p' || last == L'T' || last == L't';
}

template <typename Unsigned>
NumberList<Unsigned> ParseNumberList(std::wstring_view text) {
    NumberList<Unsigned> list;
    list.Start = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsDigit(text[i]) || text[i] == L':') {
            list.Start = i;
            break;
        }
    }
    if (list.Start == text.size()) return list;
    list.Numbers.push_back(0);
    // The last character is the unit or percentage suffix, never part of a number.
    for (std::size_t i = list.Start; i + 1 < text.size(); ++i) {
        wchar_t c = text[i];
        if (IsDigit(c)) {
            list.Numbers.back() =
                SaturatingAppendDigit(list.Numbers.back(), static_cast<unsigned>(c - L'0'));
        } else if (c == L':') {
            list.Numbers.push_back(0);
        }
    }
    return list;
}

template <typename Unsigned>
void RewritePercentSize(std::wstring& option, const MemoryAmounts<Unsigned>& memory) {
    NumberList<Unsigned> list = ParseNumberList<Unsigned>(option);
    auto number = [&](std::size_t i) -> Unsigned {
        return i < list.Numbers.size() ? list.Numbers[i] : 0;
    };
    Unsigned percent = number(0);
    Unsigned minimum = number(1);
    Unsigned maximum = number(2);

    wchar_t suffix = option.empty() ? L'\0' : option.back();
    Unsigned amount =
        (suffix == L'T' || suffix == L't') ? memory.AvailableVirtual : memory.TotalPhysical;
    Unsigned kib = static_cast<Unsigned>(amount >> 10);

    // Converting a double beyond the integer range is undefined; such a share saturates.
    double share = static_cast<double>(kib) * (static_cast<double>(percent) / 100.0);
    const double limit = std::ldexp(1.0, std::numeric_limits<Unsigned>::digits);
    Unsigned value = share >= limit ? kMaximum<Unsigned> : static_cast<Unsigned>(share);

    if (maximum != 0) {
        Unsigned maximumKib = SaturatingMultiply<Unsigned>(maximum, 1024);
        if (value > maximumKib) value = maximumKib;
    }
    Unsigned minimumKib = SaturatingMultiply<Unsigned>(minimum, 1024);
    if (value < minimumKib) value = minimumKib;

    std::wstring rewritten = option.substr(0, list.Start);
    rewritten += DecimalText(static_cast<unsigned long long>(value));
    rewritten += L'K';
    option = std::move(rewritten);
}

template <typename Unsigned>
Unsigned ParseStackSize(std::wstring_view option) {
    if (option.size() < 4) return 0;
    std::wstring_view value = option.substr(4);
    NumberList<Unsigned> list = ParseNumberList<Unsigned>(value);
    if (list.Start != 0 || list.Numbers.size() != 1) return 0;
    Unsigned number = list.Numbers[0];
    if (number == kMaximum<Unsigned>) return 0;
    Unsigned unit = 1;
    wchar_t last = value.back();
    if (last == L'G' || last == L'g') {
        unit = 1073741824u;
    } else if (last == L'K' || last == L'k') {
        unit = 1024u;
    } else if (last == L'M' || last == L'm') {
        unit = 1048576u;
    } else if (IsDigit(last)) {
        // Without a unit letter the last digit belongs to the number.
        number = SaturatingAppendDigit(number, static_cast<unsigned>(last - L'0'));
        if (number == kMaximum<Unsigned>) return 0;
    }
    Unsigned size;
    return CheckedMultiply(number, unit, size) ? size : 0;
}

template NumberList<std::uint32_t> ParseNumberList<std::uint32_t>(std::wstring_view);
template NumberList<std::uint64_t> ParseNumberList<std::uint64_t>(std::wstring_view);
template void RewritePercentSize<std::uint32_t>(std::wstring&, const MemoryAmounts<std::uint32_t>&);
template void RewritePercentSize<std::uint64_t>(std::wstring&, const MemoryAmounts<std::uint64_t>&);
template std::uint32_t ParseStackSize<std::uint32_t>(std::wstring_view);
template std::uint64_t ParseStackSize<std::uint64_t>(std::wstring_view);
