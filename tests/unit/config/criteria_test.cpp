#include "config/criteria.h"

#include <gtest/gtest.h>

namespace {

std::string Show(const VersionNumber& v) {
    return std::to_string(v.components[0]) + "." + std::to_string(v.components[1]) + "." +
           std::to_string(v.components[2]) + "." + std::to_string(v.components[3]) + "/" +
           std::to_string(v.componentCount);
}

RuntimeSearchCriteria WithSource(const wchar_t* source) {
    RuntimeCriteriaKeys keys;
    keys.JvmSource = source;
    return BuildSearchCriteria(keys);
}

RuntimeSearchCriteria WithProvider(const wchar_t* provider) {
    RuntimeCriteriaKeys keys;
    keys.VmProvider = provider;
    return BuildSearchCriteria(keys);
}

}  // namespace

TEST(BuildSearchCriteria, JvmTypeIsAnExactWord) {
    struct Case {
        const wchar_t* value;
        JvmTypeMode mode;
    };
    const Case cases[] = {
        {L"server", JvmTypeMode::ServerOnly}, {L"favor_server", JvmTypeMode::FavorServer},
        {L"Server", JvmTypeMode::AnyVm},      {L"server ", JvmTypeMode::AnyVm},
        {L"client", JvmTypeMode::AnyVm},      {L"", JvmTypeMode::AnyVm}};
    for (const Case& c : cases) {
        RuntimeCriteriaKeys keys;
        keys.JvmType = c.value;
        EXPECT_EQ(BuildSearchCriteria(keys).JvmType, c.mode)
            << testing::PrintToString(std::wstring(c.value));
    }
}

TEST(BuildSearchCriteria, JvmSourceSetsKindFlags) {
    struct Case {
        const wchar_t* value;
        bool both, jdk, jre;
    };
    const Case cases[] = {
        {L"", true, true, true},
        {L"favor_JRE", true, false, true},
        {L"favor_JDK", true, true, false},
        {L"only_JDK", false, true, false},
        {L"only_JRE", false, false, true},
        {L"JRE", false, false, false},
        {L"only_jre", false, false, false},
        {L"favor_jdk", false, false, false},
    };
    for (const Case& c : cases) {
        RuntimeSearchCriteria criteria = WithSource(c.value);
        EXPECT_EQ(criteria.BothKinds, c.both) << testing::PrintToString(std::wstring(c.value));
        EXPECT_EQ(criteria.WantJdk, c.jdk) << testing::PrintToString(std::wstring(c.value));
        EXPECT_EQ(criteria.WantJre, c.jre) << testing::PrintToString(std::wstring(c.value));
    }
}

TEST(BuildSearchCriteria, VmProviderTableIgnoresLetterCase) {
    struct Case {
        const wchar_t* value;
        // allowed/favoured for Sun, JRockit, IBM
        bool sa, sf, ja, jf, ia, iff;
        bool parked;
    };
    const Case cases[] = {
        {L"", true, true, false, false, false, false, false},
        {L"oracle", true, true, false, false, false, false, false},
        {L"jrockit", false, false, true, true, false, false, false},
        {L"JRockit", false, false, true, true, false, false, false},
        {L"IBM", false, false, false, false, true, true, true},
        {L"favor_sun", true, true, true, false, true, false, true},
        {L"favor_jrockit", true, false, true, true, true, false, true},
        {L"Favor_IBM", true, false, true, false, true, true, true},
        {L"ANY", true, false, true, false, true, false, true},
        {L"any ", true, true, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        RuntimeSearchCriteria criteria = WithProvider(c.value);
        const std::string label = testing::PrintToString(std::wstring(c.value));
        EXPECT_EQ(criteria.Sun.allowed, c.sa) << label;
        EXPECT_EQ(criteria.Sun.favoured, c.sf) << label;
        EXPECT_EQ(criteria.JRockit.allowed, c.ja) << label;
        EXPECT_EQ(criteria.JRockit.favoured, c.jf) << label;
        EXPECT_EQ(criteria.Ibm.allowed, c.ia) << label;
        EXPECT_EQ(criteria.Ibm.favoured, c.iff) << label;
        EXPECT_EQ(KeepsVmThreadParked(criteria), c.parked) << label;
    }
}

TEST(BuildSearchCriteria, VersionBounds) {
    struct Case {
        const wchar_t* minimum;
        const wchar_t* maximum;
        const char* expectedMinimum;
        const char* expectedMaximum;
    };
    const Case cases[] = {
        {L"", L"", "0.0.0.0/0", "65535.65535.65535.65535/4"},
        {L"any", L"any", "0.0.0.0/4", "65535.65535.65535.65535/4"},
        {L"1.8", L"1.8", "1.8.0.0/2", "1.8.65535.65535/2"},
        {L"1.6", L"1.8.0_100", "1.6.0.0/2", "1.8.0.100/4"},
        {L"ANY", L"Any", "0.0.0.0/0", "65535.65535.65535.65535/4"},
        {L"none", L"none", "0.0.0.0/0", "65535.65535.65535.65535/4"},
        // A maximum too large to hold is no upper bound rather than 0.0.0.0.
        {L"3000000000", L"3000000000", "0.0.0.0/0", "65535.65535.65535.65535/4"},
    };
    for (const Case& c : cases) {
        RuntimeCriteriaKeys keys;
        keys.MinimumVersion = c.minimum;
        keys.MaximumVersion = c.maximum;
        RuntimeSearchCriteria criteria = BuildSearchCriteria(keys);
        EXPECT_EQ(Show(criteria.MinimumVersion), c.expectedMinimum)
            << testing::PrintToString(std::wstring(c.minimum));
        EXPECT_EQ(Show(criteria.MaximumVersion), c.expectedMaximum)
            << testing::PrintToString(std::wstring(c.maximum));
    }
}

TEST(BuildSearchCriteria, PreferredVersionsSplitOnSemicolonsUntrimmed) {
    RuntimeCriteriaKeys keys;
    keys.PreferredVersions = L";1.7; 1.8;;";
    EXPECT_EQ(BuildSearchCriteria(keys).PreferredVersions,
              (std::vector<std::wstring>{L"", L"1.7", L" 1.8", L""}));
    keys.PreferredVersions = L"";
    EXPECT_TRUE(BuildSearchCriteria(keys).PreferredVersions.empty());
}
