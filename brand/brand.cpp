#include "brand/brand.h"

#include <algorithm>
#include <set>
#include <vector>

#include "brand/icon_file.h"
#include "brand/manifest.h"
#include "brand/pe_image.h"
#include "brand/resource_tree.h"
#include "brand/version_info.h"

const char kBrandUsage[] =
    "usage: vmbootbrand [options] LAUNCHER.exe OUTPUT.exe\n"
    "Writes a copy of a vmboot launcher with the application's icon and version information.\n"
    "  --icon FILE.ico            the application's icon (all sizes of the file)\n"
    "  --name TEXT                ProductName (default: OUTPUT's name without extension)\n"
    "                             and FileDescription unless given\n"
    "  --description TEXT         FileDescription\n"
    "  --company TEXT             CompanyName (default: none)\n"
    "  --copyright TEXT           LegalCopyright (default: none)\n"
    "  --version N[.N[.N[.N]]]    file version (and product version unless given)\n"
    "  --product-version N[.N...] product version\n"
    "  --original-filename NAME   OriginalFilename (default: OUTPUT's file name)\n"
    "  --internal-name NAME       InternalName (default: OUTPUT's name without extension)\n"
    "  --string KEY=VALUE         any other version string (Comments, ...)\n"
    "  --execution-level LEVEL    asInvoker, highestAvailable or requireAdministrator\n";

namespace {

using Bytes = std::vector<std::uint8_t>;

bool Fail(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
}

bool ReplaceIcon(ResourceTree& tree, const std::vector<IconImage>& images, std::string* error) {
    ResourceNames& groups = tree[ResourceKey::Id(kResourceGroupIcon)];
    ResourceNames& icons = tree[ResourceKey::Id(kResourceIcon)];
    // The shell shows the first group; its images go unless another group names them.
    ResourceKey group_name = ResourceKey::Id(1);
    ResourceKey language = ResourceKey::Id(0);
    if (!groups.empty()) {
        group_name = groups.begin()->first;
        if (!groups.begin()->second.empty()) language = groups.begin()->second.begin()->first;
        std::set<std::uint16_t> kept;
        std::set<std::uint16_t> dropped;
        for (const auto& [name, languages] : groups) {
            for (const auto& [tongue, data] : languages) {
                for (std::uint16_t id : IconGroupIds(ByteView(data.bytes))) {
                    (name == group_name ? dropped : kept).insert(id);
                }
            }
        }
        for (std::uint16_t id : dropped) {
            if (!kept.count(id)) icons.erase(ResourceKey::Id(id));
        }
        groups.erase(group_name);
    }
    std::vector<std::uint16_t> ids;
    for (std::uint32_t id = 1; ids.size() < images.size() && id <= 0xFFFF; ++id) {
        if (!icons.count(ResourceKey::Id(static_cast<std::uint16_t>(id))))
            ids.push_back(static_cast<std::uint16_t>(id));
    }
    if (ids.size() < images.size())
        return Fail(error, "the icon has more images than a launcher can hold");
    for (std::size_t i = 0; i < images.size(); ++i) {
        icons[ResourceKey::Id(ids[i])][language] = ResourceData{images[i].bytes, 0};
    }
    groups[group_name][language] = ResourceData{BuildIconGroup(images, ids), 0};
    return true;
}

std::u16string VersionText(std::uint32_t high, std::uint32_t low) {
    const std::string text = std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) +
                             "." + std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
    return std::u16string(text.begin(), text.end());
}

bool UpdateVersion(ResourceTree& tree, const BrandRequest& request, BrandFault* fault,
                   std::string* error) {
    ResourceNames& versions = tree[ResourceKey::Id(kResourceVersion)];
    VersionInfo info;
    ResourceKey name = ResourceKey::Id(1);
    ResourceKey language = ResourceKey::Id(0);
    if (!versions.empty() && !versions.begin()->second.empty()) {
        name = versions.begin()->first;
        language = versions.begin()->second.begin()->first;
        if (!ParseVersionInfo(ByteView(versions.begin()->second.begin()->second.bytes), &info,
                              error)) {
            return Fail(error, "the launcher's version information is damaged: " + *error);
        }
    }
    // The strings are the request's alone: what an earlier branding (or the launcher) wrote
    // goes, so that branding a branded copy gives what branding the launcher gives.
    info.strings.clear();
    for (const auto& [key, value] : request.strings) {
        if (!value.empty()) info.Set(Utf16FromUtf8(key), Utf16FromUtf8(value));
    }
    const std::pair<const std::string*, std::size_t> numbers[] = {{&request.file_version, 2},
                                                                  {&request.product_version, 4}};
    for (const auto& [text, at] : numbers) {
        if (text->empty()) continue;
        const auto words = ParseVersionNumber(*text);
        if (!words) {
            *fault = BrandFault::kRequest;
            return Fail(error, "\"" + *text +
                                   "\" is not a version number (up to four numbers 0-65535 "
                                   "with dots)");
        }
        info.fixed[at] = (*words)[0];
        info.fixed[at + 1] = (*words)[1];
    }
    // Unless given as text, the version strings say what the fixed block says.
    const std::pair<const char16_t*, std::size_t> texts[] = {{u"FileVersion", 2},
                                                             {u"ProductVersion", 4}};
    for (const auto& text : texts) {
        const std::u16string key = text.first;
        const bool given = std::any_of(info.strings.begin(), info.strings.end(),
                                       [&key](const auto& entry) { return entry.first == key; });
        if (!given)
            info.Set(key, VersionText(info.fixed[text.second], info.fixed[text.second + 1]));
    }
    Bytes block = BuildVersionInfo(info);
    // Every block's length is a 16-bit field, the outermost one the largest.
    if (block.size() > 0xFFFF) {
        *fault = BrandFault::kRequest;
        return Fail(error, "the version strings are too long (64 KB in all)");
    }
    // One language only: a second one left as it was would still say "vmboot".
    versions[name].clear();
    versions[name][language] = ResourceData{std::move(block), 0};
    return true;
}

bool UpdateManifest(ResourceTree& tree, const std::string& level, std::string* error) {
    auto manifests = tree.find(ResourceKey::Id(kResourceManifest));
    if (manifests == tree.end() || manifests->second.empty() ||
        manifests->second.begin()->second.empty()) {
        return Fail(error, "the launcher has no manifest");
    }
    ResourceData& data = manifests->second.begin()->second.begin()->second;
    std::string text;
    if (!SetExecutionLevel(std::string(data.bytes.begin(), data.bytes.end()), level, &text, error))
        return false;
    data.bytes.assign(text.begin(), text.end());
    return true;
}

}  // namespace

bool BrandLauncher(ByteView launcher, const BrandRequest& request, BrandOutput* out,
                   std::string* error) {
    // Each message says what is wrong; the fault says which input it is about, so that the
    // tool names that file.
    out->fault = BrandFault::kLauncher;
    PeImage image;
    ResourceTree tree;
    if (!ParsePeImage(launcher, &image, error) ||
        !ParseResourceTree(launcher, image, &tree, error)) {
        return Fail(error, "not a launcher the tool can brand: " + *error);
    }
    if (!request.icon.empty()) {
        std::vector<IconImage> images;
        if (!ParseIconFile(ByteView(request.icon), &images, error)) {
            out->fault = BrandFault::kIcon;
            return Fail(error, "not a usable .ico file: " + *error);
        }
        if (!ReplaceIcon(tree, images, error)) {
            out->fault = BrandFault::kIcon;
            return false;
        }
    }
    if (!request.strings.empty() || !request.file_version.empty() ||
        !request.product_version.empty()) {
        if (!UpdateVersion(tree, request, &out->fault, error)) return false;
    }
    if (!request.execution_level.empty()) {
        if (!IsExecutionLevel(request.execution_level)) {
            out->fault = BrandFault::kRequest;
            return Fail(error, "unknown execution level \"" + request.execution_level +
                                   "\" (asInvoker, highestAvailable or requireAdministrator)");
        }
        if (!UpdateManifest(tree, request.execution_level, error)) return false;
    }
    SectionRewrite rewrite;
    auto build = [&](std::uint32_t rva, std::vector<std::uint8_t>* content, std::string*) {
        *content = BuildResourceSection(tree, rva);
        return true;
    };
    if (!ReplaceResourceSection(launcher, image, build, &rewrite, error)) {
        return Fail(error, "cannot rebuild the launcher's resources: " + *error);
    }
    out->image = std::move(rewrite.file);
    out->warnings.clear();
    if (rewrite.removed_signature) {
        out->warnings.push_back(
            "the launcher's signature was removed (it no longer matches); sign the branded copy "
            "again");
    }
    return true;
}

namespace {

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ParseBrandArguments(const std::vector<std::string>& arguments, BrandCommand* command,
                         std::string* error) {
    *command = BrandCommand{};
    static const std::pair<const char*, const char*> kStringOptions[] = {
        {"--name", "ProductName"},
        {"--description", "FileDescription"},
        {"--company", "CompanyName"},
        {"--copyright", "LegalCopyright"},
        {"--original-filename", "OriginalFilename"},
        {"--internal-name", "InternalName"},
    };
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> strings;
    auto set_string = [&](const std::string& key, const std::string& value) {
        for (auto& entry : strings) {
            if (entry.first == key) {
                entry.second = value;
                return;
            }
        }
        strings.emplace_back(key, value);
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            files.push_back(argument);
            continue;
        }
        if (i + 1 >= arguments.size()) return Fail(error, argument + " needs a value");
        const std::string& value = arguments[++i];
        bool known = false;
        for (const auto& [option, key] : kStringOptions) {
            if (argument == option) {
                set_string(key, value);
                known = true;
            }
        }
        if (known) continue;
        if (argument == "--icon") {
            command->icon_path = value;
        } else if (argument == "--version") {
            command->request.file_version = value;
        } else if (argument == "--product-version") {
            command->request.product_version = value;
        } else if (argument == "--execution-level") {
            if (!IsExecutionLevel(value)) {
                return Fail(error, "unknown execution level \"" + value +
                                       "\" (asInvoker, highestAvailable or requireAdministrator)");
            }
            command->request.execution_level = value;
        } else if (argument == "--string") {
            const std::size_t equals = value.find('=');
            if (equals == std::string::npos || equals == 0)
                return Fail(error, "--string needs KEY=VALUE: " + value);
            set_string(value.substr(0, equals), value.substr(equals + 1));
        } else {
            return Fail(error, "unknown option " + argument);
        }
    }
    if (files.size() != 2) return Fail(error, "name the launcher and the output file");
    command->input = files[0];
    command->output = files[1];
    BrandRequest& request = command->request;
    if (request.product_version.empty()) request.product_version = request.file_version;
    auto given = [&](const char* key) {
        for (const auto& entry : strings) {
            if (entry.first == key) return &entry.second;
        }
        return static_cast<const std::string*>(nullptr);
    };
    // Defaults follow what was given, so that nothing keeps saying "vmboot": the product is
    // named after the output file unless named, and the launcher's company and copyright go.
    const std::string file_name = FileNameOf(command->output);
    const std::string stem = file_name.substr(0, file_name.rfind('.'));
    if (!given("ProductName")) set_string("ProductName", stem);
    if (!given("FileDescription")) set_string("FileDescription", *given("ProductName"));
    if (!given("CompanyName")) set_string("CompanyName", "");
    if (!given("LegalCopyright")) set_string("LegalCopyright", "");
    if (!request.file_version.empty() && !given("FileVersion"))
        set_string("FileVersion", request.file_version);
    if (!request.product_version.empty() && !given("ProductVersion")) {
        set_string("ProductVersion", request.product_version);
    }
    if (!given("OriginalFilename")) set_string("OriginalFilename", file_name);
    if (!given("InternalName")) set_string("InternalName", stem);
    request.strings = std::move(strings);
    return true;
}
