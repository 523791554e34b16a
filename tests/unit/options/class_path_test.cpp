#include "options/class_path.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

/// Patterns mapped to the names a search returns, in "file system order".
class FakeLister : public DirectoryLister {
  public:
    std::map<std::wstring, std::vector<std::wstring>> Matches;
    std::vector<std::wstring> Searched;

    void List(const std::wstring& pattern,
              const std::function<void(std::wstring_view)>& onMatch) override {
        Searched.push_back(pattern);
        auto it = Matches.find(pattern);
        if (it == Matches.end()) return;
        for (const auto& name : it->second) onMatch(name);
    }
};

void ExpandNothing(std::wstring&) {}

}  // namespace

TEST(ClassifyClassPathEntry, WildcardFirstThenShortAbsoluteRelative) {
    struct Case {
        const wchar_t* entry;
        ClassPathEntryKind expected;
    } cases[] = {
        {L"lib\\*.jar", ClassPathEntryKind::Wildcard},
        {L"D:\\shared\\*.jar", ClassPathEntryKind::Wildcard},
        {L"*", ClassPathEntryKind::Wildcard},
        {L"D:\\shared\\util.jar", ClassPathEntryKind::Absolute},
        {L"\\\\srv\\share\\a.jar", ClassPathEntryKind::Absolute},
        {L"D:\\x?.jar", ClassPathEntryKind::Absolute},  // "?" alone is no wildcard
        {L"a", ClassPathEntryKind::Relative},
        {L"", ClassPathEntryKind::Relative},
        {L":", ClassPathEntryKind::Relative},
        {L"\\root.jar", ClassPathEntryKind::Relative},
        {L"app.jar", ClassPathEntryKind::Relative},
        {L"x?.jar", ClassPathEntryKind::Relative},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyClassPathEntry(c.entry), c.expected) << c.entry;
}

TEST(ClassPathSearchFor, PatternAndFolder) {
    struct Case {
        const wchar_t* entry;
        const wchar_t* pattern;
        const wchar_t* folder;
    } cases[] = {
        {L"lib\\*.jar", L"C:\\App\\lib\\*.jar", L"C:\\App\\lib"},
        {L"app.jar", L"C:\\App\\app.jar", L"C:\\App"},
        {L"a\\b\\c.jar", L"C:\\App\\a\\b\\c.jar", L"C:\\App\\a\\b"},
        {L"", L"C:\\App\\", L"C:\\App"},
        {L"D:\\shared\\*.jar", L"D:\\shared\\*.jar", L"D:\\shared"},
        {L"\\\\srv\\s\\*.jar", L"\\\\srv\\s\\*.jar", L"\\\\srv\\s"},
        // "/" separates as "\\" does; the search and the result use "\\".
        {L"lib/*.jar", L"C:\\App\\lib\\*.jar", L"C:\\App\\lib"},
        {L"lib/ext\\a.jar", L"C:\\App\\lib\\ext\\a.jar", L"C:\\App\\lib\\ext"},
        {L"D:/shared/*.jar", L"D:\\shared\\*.jar", L"D:\\shared"},
        // Drive-relative: the matches keep the drive and its current folder.
        {L"D:*.jar", L"D:*.jar", L"D:"},
    };
    for (const Case& c : cases) {
        ClassPathSearch search = ClassPathSearchFor(c.entry, L"C:\\App");
        EXPECT_EQ(search.Pattern, c.pattern) << c.entry;
        EXPECT_EQ(search.Folder, c.folder) << c.entry;
    }
}

TEST(AssembleClassPath, ResolvesEntriesInOrder) {
    FakeLister files;
    files.Matches[L"C:\\App\\app.jar"] = {L"app.jar"};
    files.Matches[L"C:\\App\\lib\\*.jar"] = {L"b.jar", L"c.jar"};
    files.Matches[L"C:\\App\\classes"] = {L"classes"};
    files.Matches[L"D:\\shared\\*"] = {L".", L"..", L"x.jar"};
    std::vector<std::wstring> unmatched;
    std::wstring path = AssembleClassPath(
        L"app.jar;lib\\*.jar;D:\\shared\\util.jar;missing.jar;classes;D:\\shared\\*;plugins\\*.jar",
        L"C:\\App", ExpandNothing, files, &unmatched);
    EXPECT_EQ(path,
              L"C:\\App\\app.jar;C:\\App\\lib\\b.jar;C:\\App\\lib\\c.jar;D:\\shared\\util.jar;"
              L"C:\\App\\classes;D:\\shared\\.;D:\\shared\\..;D:\\shared\\x.jar");
    // The absolute entry is not looked up, so only searched entries can be missing.
    for (const auto& pattern : files.Searched) EXPECT_NE(pattern, L"D:\\shared\\util.jar");
    EXPECT_EQ(unmatched, (std::vector<std::wstring>{L"missing.jar", L"plugins\\*.jar"}));
}

TEST(AssembleClassPath, ForwardSlashesAndDriveRelativeEntries) {
    FakeLister files;
    files.Matches[L"C:\\App\\lib\\a.jar"] = {L"a.jar"};
    files.Matches[L"C:\\App\\lib\\*.jar"] = {L"a.jar", L"b.jar"};
    files.Matches[L"D:*.jar"] = {L"d.jar"};
    EXPECT_EQ(AssembleClassPath(L"lib/a.jar;lib/*.jar;D:*.jar", L"C:\\App", ExpandNothing, files),
              L"C:\\App\\lib\\a.jar;C:\\App\\lib\\a.jar;C:\\App\\lib\\b.jar;D:d.jar");
}

TEST(AssembleClassPath, EmptyEntriesContributeNothing) {
    FakeLister files;
    std::vector<std::wstring> unmatched;
    EXPECT_EQ(AssembleClassPath(L";", L"C:\\App", ExpandNothing, files, &unmatched), L"");
    EXPECT_TRUE(unmatched.empty());  // a separator is no entry that could be missing
    EXPECT_EQ(AssembleClassPath(L"", L"C:\\App", ExpandNothing, files), L"");
    EXPECT_EQ(AssembleClassPath(L";;;", L"C:\\App", ExpandNothing, files), L"");
    // ";" is one empty entry, "" none, ";;;" three: each is searched as the bare folder.
    EXPECT_EQ(files.Searched, std::vector<std::wstring>(4, L"C:\\App\\"));
}

TEST(AssembleClassPath, ExpandsBeforeClassifying) {
    FakeLister files;
    auto expand = [](std::wstring& entry) {
        if (entry == L"%APPDATA%\\Vendor\\x.jar") entry = L"C:\\Users\\u\\AppData\\Vendor\\x.jar";
    };
    EXPECT_EQ(AssembleClassPath(L"%APPDATA%\\Vendor\\x.jar", L"C:\\App", expand, files),
              L"C:\\Users\\u\\AppData\\Vendor\\x.jar");
    EXPECT_TRUE(files.Searched.empty());
}
