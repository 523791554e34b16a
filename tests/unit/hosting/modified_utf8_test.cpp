#include "hosting/modified_utf8.h"

#include <gtest/gtest.h>

TEST(DecodeModifiedUtf8, Table) {
    struct Case {
        std::string bytes;
        std::u16string expected;
    } cases[] = {
        {"com/example/App", u"com/example/App"},
        {"", u""},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},
        {std::string("a\xC0\x80"
                     "b"),
         std::u16string(u"a\0b", 3)},  // NUL as the VM writes it
        // U+1F600 as two encoded surrogates (modified form) and as four bytes (standard).
        {"\xED\xA0\xBD\xED\xB8\x80", u"\U0001F600"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        // Malformed: truncated sequences, stray continuation bytes, invalid leads.
        {"a\xC3", u"a\uFFFD"},
        {"\xE6\x97", u"\uFFFD\uFFFD"},
        {"\x80x", u"\uFFFDx"},
        {"\xFF\xFE", u"\uFFFD\uFFFD"},
        {"\xC3(", u"\uFFFD("},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
    };
    for (const Case& c : cases) EXPECT_EQ(DecodeModifiedUtf8(c.bytes), c.expected) << c.bytes;
}

TEST(DecodeModifiedUtf8, AnyBytesDecodeWithoutOverrun) {
    // Every two-byte combination, decoded from an exactly sized buffer (ASan checks reads).
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; b += 7) {
            std::string bytes{static_cast<char>(a), static_cast<char>(b)};
            std::u16string text = DecodeModifiedUtf8(bytes);
            EXPECT_GE(text.size(), 1u);
            EXPECT_LE(text.size(), 2u);
        }
    }
}
