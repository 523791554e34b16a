#pragma once

#include <string>
#include <string_view>

/// Decodes the VM's modified UTF-8 (NUL as C0 80, supplementary characters as two encoded
/// surrogates) into UTF-16 code units. Standard four-byte sequences are accepted too. Each
/// byte that does not begin a well-formed sequence becomes U+FFFD.
std::u16string DecodeModifiedUtf8(std::string_view bytes);
