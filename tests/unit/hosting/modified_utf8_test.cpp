#include "hosting/modified_utf8.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>

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
    // Every lead byte, followed by up to three bytes that continue a sequence or start
    // another, decoded from a heap buffer of exactly that size: ASan sees a read past its end
    // (a short std::string would keep it inside the object, unseen).
    const unsigned char following[] = {'a', 0x80, 0xBF, 0xE6, 0xF0};
    for (std::size_t size = 1; size <= 4; ++size) {
        std::size_t combinations = 1;
        for (std::size_t k = 1; k < size; ++k) combinations *= std::size(following);
        for (int lead = 0; lead < 256; ++lead) {
            for (std::size_t n = 0; n < combinations; ++n) {
                std::unique_ptr<char[]> bytes(new char[size]);
                bytes[0] = static_cast<char>(lead);
                for (std::size_t k = 1, rest = n; k < size; ++k, rest /= std::size(following)) {
                    bytes[k] = static_cast<char>(following[rest % std::size(following)]);
                }
                std::u16string text = DecodeModifiedUtf8(std::string_view(bytes.get(), size));
                EXPECT_GE(text.size(), 1u);
                EXPECT_LE(text.size(), size);
            }
        }
    }
}
