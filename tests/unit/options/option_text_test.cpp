#include "core/option_text.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

/// Two system code pages as far as the decisions need them: which characters exist there.
/// Characters that exist are written as UTF-8 (any exact bytes would do); the others become
/// "?", the default character, as WC_NO_BEST_FIT_CHARS makes them.
class FakeCodec : public OptionTextCodec {
  public:
    explicit FakeCodec(int codePage) : codePage_(codePage) {}
    std::map<std::wstring, std::wstring> ShortNames;  ///< existing paths with a short name
    std::set<std::wstring> Existing;                  ///< existing paths without one

    bool Encode(std::wstring_view text, std::string& out) const override {
        out.clear();
        bool exact = true;
        for (std::size_t i = 0; i < text.size(); ++i) {
            char32_t c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            }
            if (!Exists(c)) {
                out += '?';
                exact = false;
            } else if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c < 0x800) {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                out += static_cast<char>(0xE0 | (c >> 12));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return exact;
    }
    ShortName ShortForm(const std::wstring& path) const override {
        auto it = ShortNames.find(path);
        if (it != ShortNames.end()) return {true, it->second};
        return {Existing.count(path) > 0, Existing.count(path) ? path : std::wstring()};
    }

  private:
    bool Exists(char32_t c) const {
        if (c < 0x80) return true;
        if (codePage_ == 1252) return (c >= 0xA0 && c <= 0xFF) || c == 0x20AC || c == 0x0152;
        // 932: kana, the common ideographs, and the plain Greek letters (no accented ones).
        return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) ||
               (c >= 0x0391 && c <= 0x03A9) || (c >= 0x03B1 && c <= 0x03C9);
    }
    int codePage_;
};

}  // namespace

// One row per path the launcher builds into an option: the option text the VM receives, or
// the path that stops the launch.
TEST(EncodePathList, ClassPathUnderTwoCodePages) {
    const std::wstring jp = L"C:\\Users\\\u7530\u4E2D\\app\\lib\\a.jar";       // 田中
    const std::wstring gr = L"C:\\Apps\\\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC\\a.jar";  // Ελληνικά
    const std::wstring emoji = L"C:\\Apps\\x\U0001F600\\a.jar";
    const std::wstring cafe = L"C:\\Apps\\Caf\u00E9\\a.jar";
    struct Row {
        std::wstring path;
        int codePage;
        bool shortName;    ///< the volume keeps a short name for the path
        bool exists;
        std::string option;  ///< expected text after the prefix; empty when the launch stops
    } rows[] = {
        {L"C:\\App\\lib\\a.jar;", 1252, false, true, "C:\\App\\lib\\a.jar"},
        {cafe + L";", 1252, false, true, "C:\\Apps\\Caf\xC3\xA9\\a.jar"},
        {jp + L";", 1252, true, true, "C:\\Users\\7E2A~1\\app\\lib\\a.jar"},
        {jp + L";", 932, false, true, "C:\\Users\\\xE7\x94\xB0\xE4\xB8\xAD\\app\\lib\\a.jar"},
        {jp + L";", 1252, false, true, ""},
        {gr + L";", 932, true, true, "C:\\Users\\7E2A~1\\app\\lib\\a.jar"},
        {gr + L";", 932, false, true, ""},
        {emoji + L";", 932, false, true, ""},
        {emoji + L";", 1252, true, true, "C:\\Users\\7E2A~1\\app\\lib\\a.jar"},
        // Nothing at the path: nothing the VM could load from it, so it passes as converted.
        {emoji + L";", 1252, false, false, "C:\\Apps\\x?\\a.jar"},
    };
    for (const Row& row : rows) {
        FakeCodec codec(row.codePage);
        std::wstring item = row.path.substr(0, row.path.size() - 1);
        if (row.shortName) codec.ShortNames[item] = L"C:\\Users\\7E2A~1\\app\\lib\\a.jar";
        else if (row.exists) codec.Existing.insert(item);
        OptionTextNotes notes;
        std::string out;
        EncodePathList(row.path, PathNeed::Required, codec, out, notes);
        if (row.option.empty()) {
            ASSERT_EQ(notes.Lost.size(), 1u) << row.codePage;
            EXPECT_EQ(notes.Lost[0], item);
        } else {
            EXPECT_TRUE(notes.Lost.empty()) << row.codePage << " " << row.option;
            EXPECT_EQ(out, row.option) << row.codePage;
            EXPECT_EQ(notes.Substituted.size(), row.shortName ? 1u : 0u) << row.option;
        }
    }
}

TEST(EncodePathList, DropsEmptyItemsAndTreatsEachItemAlone) {
    FakeCodec codec(1252);
    codec.ShortNames[L"C:\\\u65E5\u672C"] = L"C:\\65E5~1";
    OptionTextNotes notes;
    std::string out;
    // An empty item would be the current folder; lists appended one after another stay apart.
    EncodePathList(L";native;C:\\\u65E5\u672C;;", PathNeed::Required, codec, out, notes);
    EncodePathList(L"", PathNeed::Optional, codec, out, notes);
    EncodePathList(L";x;", PathNeed::Optional, codec, out, notes);
    EXPECT_EQ(out, "native;C:\\65E5~1;x");
    ASSERT_EQ(notes.Substituted.size(), 1u);
    EXPECT_EQ(notes.Substituted[0].first, L"C:\\\u65E5\u672C");
}

TEST(EncodePathList, InheritedFoldersArePassedAndReportedNotStopped) {
    FakeCodec codec(1252);
    codec.Existing.insert(L"C:\\\u65E5\u672C\\bin");
    OptionTextNotes notes;
    std::string out;
    EncodePathList(L"C:\\Windows;C:\\\u65E5\u672C\\bin", PathNeed::Optional, codec, out, notes);
    EXPECT_EQ(out, "C:\\Windows;C:\\??\\bin");
    EXPECT_TRUE(notes.Lost.empty());
    ASSERT_EQ(notes.Defaulted.size(), 1u);
}

TEST(EncodeOptionText, UserParametersGetTheDefaultCharacterNeverALookAlike) {
    FakeCodec codec(1252);
    OptionTextNotes notes;
    EXPECT_EQ(EncodeOptionText(L"-Dn=\u0141ukasz_\u03A9", codec, notes), "-Dn=?ukasz_?");
    EXPECT_EQ(EncodeOptionText(L"-Xmx512m", codec, notes), "-Xmx512m");
    ASSERT_EQ(notes.Defaulted.size(), 1u);
    EXPECT_EQ(notes.Defaulted[0], L"-Dn=\u0141ukasz_\u03A9");
}

TEST(ShortenPathForMessage, KeepsShortPathsAndCutsLongOnesAtFolders) {
    EXPECT_EQ(ShortenPathForMessage(L"C:\\Apps\\a.jar"), L"C:\\Apps\\a.jar");
    std::wstring longPath = L"C:\\Users\\\u7530\u4E2D\\AppData\\Local\\";
    for (int i = 0; i < 20; ++i) longPath += L"folder" + std::to_wstring(i) + L"\\";
    longPath += L"app.jar";
    std::wstring shown = ShortenPathForMessage(longPath, 80);
    EXPECT_LE(shown.size(), 80u);
    EXPECT_EQ(shown.substr(0, 3), L"C:\\");
    EXPECT_NE(shown.find(L'\u2026'), std::wstring::npos);
    EXPECT_EQ(shown.substr(shown.size() - 8), L"\\app.jar");
    // The tail starts at a folder boundary.
    EXPECT_EQ(shown[shown.find(L'\u2026') + 1], L'\\');
    // A surrogate pair is never cut in half.
    std::wstring astral(100, L'a');
    for (int i = 0; i < 30; ++i) astral += {wchar_t(0xD83D), wchar_t(0xDE00)};
    std::wstring cut = ShortenPathForMessage(astral, 60);
    std::size_t mark = cut.find(L'\u2026');
    ASSERT_NE(mark, std::wstring::npos);
    EXPECT_FALSE(cut[mark + 1] >= 0xDC00 && cut[mark + 1] <= 0xDFFF);
}
