#include "discovery/version_win32.h"

#include "core/format.h"
#include "core/resources_win32.h"

std::wstring DescribeVersionRequirement(const VersionNumber& minimum,
                                        const VersionNumber& maximum) {
    VersionRequirementPhrase phrase = ChooseVersionRequirementPhrase(minimum, maximum);
    std::wstring text = LoadResourceText(static_cast<UINT>(phrase.stringId));
    switch (phrase.arguments.size()) {
        case 0:
            return FormatTemplate(text, {});
        case 1:
            return FormatTemplate(text, {std::wstring_view(phrase.arguments[0])});
        default:
            return FormatTemplate(text, {std::wstring_view(phrase.arguments[0]),
                                         std::wstring_view(phrase.arguments[1])});
    }
}
