#include "core/format.h"

#include <gtest/gtest.h>

TEST(FormatTemplate, FillsTextAndNumbers) {
    EXPECT_EQ(FormatTemplate(L"Windows exception: %s (errno = %d).\n",
                             {std::wstring_view(L"x"), std::int64_t{-5}}),
              L"Windows exception: x (errno = -5).\n");
    EXPECT_EQ(FormatTemplate(L"100%% %s", {std::wstring_view(L"done")}), L"100% done");
}

TEST(FormatTemplate, MissingOrMismatchedArgumentsAreSafe) {
    EXPECT_EQ(FormatTemplate(L"%s and %s", {std::wstring_view(L"a")}), L"a and %s");
    EXPECT_EQ(FormatTemplate(L"%d", {std::wstring_view(L"a")}), L"");
    EXPECT_EQ(FormatTemplate(L"50%p %", {}), L"50%p %");
}
