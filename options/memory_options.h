#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Heap and stack sizes given as a share of the machine's memory ("-Xmx50p"), and the
// stack size of "-Xss". The integer width is that of the build (64 or 32 bits); both widths
// are instantiated so that either build's arithmetic can be tested on any host.

/// The two amounts a percentage size can refer to, in bytes, as the system reports them.
template <typename Unsigned>
struct MemoryAmounts {
    Unsigned TotalPhysical = 0;     ///< "P"/"p" suffix
    Unsigned AvailableVirtual = 0;  ///< "T"/"t" suffix
};

template <typename Unsigned>
struct NumberList {
    std::size_t Start = 0;          ///< index of the first digit or ":" (length when none)
    std::vector<Unsigned> Numbers;  ///< ":"-separated; empty when Start is the length
};

/// "-Xms", "-Xmx" or "-Xss" (exact case) ending in "P", "p", "T" or "t".
bool IsPercentSizeOption(std::wstring_view option);

/// Reads the ":"-separated decimal numbers from the first digit or ":" up to, not
/// including, the last character (the unit). Other characters are skipped. A number too
/// large for the width stays at the width's maximum instead of wrapping around.
template <typename Unsigned>
NumberList<Unsigned> ParseNumberList(std::wstring_view text);

/// Replaces "percent[:minimum MiB[:maximum MiB]]" and its suffix by a kibibyte size:
/// "-Xmx50p" with 16 GiB of memory becomes "-Xmx8388608K". The maximum is applied before
/// the minimum, so the minimum wins a conflict. Results beyond the width saturate.
template <typename Unsigned>
void RewritePercentSize(std::wstring& option, const MemoryAmounts<Unsigned>& memory);

/// The stack size in bytes of a "-Xss" option ("2m", "512k", "1g", "262144"); 0 when the
/// value cannot be read or does not fit the width.
template <typename Unsigned>
Unsigned ParseStackSize(std::wstring_view option);
