#include "brand/resource_tree.h"

#include <algorithm>
#include <set>

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
// A launcher's resources are a few hundred kilobytes; far beyond that is damage.
constexpr std::uint64_t kMaxResourceBytes = 256u << 20;

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

struct Entry {
    ResourceKey key;
    std::uint32_t target = 0;
};

class TreeReader {
  public:
    TreeReader(ByteView file, const PeImage& image, ByteView section)
        : file_(file), image_(image), section_(section) {}

    bool Entries(std::uint32_t offset, std::vector<Entry>* entries, std::string* error) {
        if (!visited_.insert(offset).second) {
            *error = "the resource directory refers to itself";
            return false;
        }
        if (!section_.Has(offset, 16)) return Outside(error);
        const std::size_t count =
            section_.U16(offset + 12) + static_cast<std::size_t>(section_.U16(offset + 14));
        if (!section_.Has(offset + 16, count * 8)) return Outside(error);
        entries->clear();
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t name = section_.U32(offset + 16 + i * 8);
            Entry entry;
            entry.target = section_.U32(offset + 20 + i * 8);
            if (name & kHighBit) {
                const std::size_t at = name & ~kHighBit;
                if (!section_.Has(at, 2) ||
                    !section_.Has(at + 2, section_.U16(at) * std::size_t{2})) {
                    return Outside(error);
                }
                entry.key.named = true;
                for (std::size_t k = 0; k < section_.U16(at); ++k) {
                    entry.key.name.push_back(static_cast<char16_t>(section_.U16(at + 2 + k * 2)));
                }
            } else {
                entry.key.id = static_cast<std::uint16_t>(name);
            }
            entries->push_back(std::move(entry));
        }
        return true;
    }

    bool Data(std::uint32_t offset, ResourceData* data, std::string* error) {
        if ((offset & kHighBit) || !section_.Has(offset, 16)) {
            *error = "the resource directory is deeper than type, name and language";
            return false;
        }
        const std::uint32_t rva = section_.U32(offset);
        const std::uint32_t size = section_.U32(offset + 4);
        const auto at = image_.FileOffset(rva, size);
        total_ += size;
        if (!at || total_ > kMaxResourceBytes) {
            *error = "resource data lies outside the file";
            return false;
        }
        data->bytes.assign(file_.data + *at, file_.data + *at + size);
        data->code_page = section_.U32(offset + 8);
        return true;
    }

  private:
    static bool Outside(std::string* error) {
        *error = "a resource directory entry lies outside the resource section";
        return false;
    }

    ByteView file_;
    const PeImage& image_;
    ByteView section_;
    std::set<std::uint32_t> visited_;
    std::uint64_t total_ = 0;
};

bool Subdirectory(const Entry& entry, std::string* error) {
    if (entry.target & kHighBit) return true;
    *error = "resource data where a resource directory belongs";
    return false;
}

}  // namespace

bool ResourceKey::operator<(const ResourceKey& other) const {
    if (named != other.named) return named;
    if (!named) return id < other.id;
    const std::size_t common = std::min(name.size(), other.name.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (Upper(name[i]) != Upper(other.name[i])) return Upper(name[i]) < Upper(other.name[i]);
    }
    if (name.size() != other.name.size()) return name.size() < other.name.size();
    return name < other.name;
}

bool ParseResourceTree(ByteView file, const PeImage& image, ResourceTree* tree,
                       std::string* error) {
    tree->clear();
    const std::uint32_t rva = image.DirectoryRva(file, kDirectoryResource);
    if (rva == 0) return true;
    ByteView section;
    for (const PeSection& candidate : image.sections) {
        if (rva >= candidate.virtual_address &&
            rva - candidate.virtual_address < candidate.raw_size) {
            const std::uint32_t inside = rva - candidate.virtual_address;
            section = file.Sub(candidate.raw_pointer + inside, candidate.raw_size - inside);
            break;
        }
    }
    if (section.data == nullptr) {
        *error = "the resource directory lies outside the sections";
        return false;
    }
    TreeReader reader(file, image, section);
    std::vector<Entry> types;
    std::vector<Entry> names;
    std::vector<Entry> languages;
    if (!reader.Entries(0, &types, error)) return false;
    for (const Entry& type : types) {
        if (!Subdirectory(type, error) || !reader.Entries(type.target & ~kHighBit, &names, error))
            return false;
        for (const Entry& name : names) {
            if (!Subdirectory(name, error) ||
                !reader.Entries(name.target & ~kHighBit, &languages, error)) {
                return false;
            }
            for (const Entry& language : languages) {
                ResourceData data;
                if (!reader.Data(language.target, &data, error)) return false;
                (*tree)[type.key][name.key].emplace(language.key, std::move(data));
            }
        }
    }
    return true;
}

std::vector<std::uint8_t> BuildResourceSection(const ResourceTree& tree,
                                               std::uint32_t section_rva) {
    // Layout: every directory (root, types, names), then the data entries, the name
    // strings and the data, each block after the one before.
    auto directory_size = [](std::size_t entries) { return 16 + 8 * entries; };
    std::size_t end = directory_size(tree.size());
    std::map<const void*, std::uint32_t> directory_at;
    for (const auto& [type, names] : tree) {
        directory_at[&names] = static_cast<std::uint32_t>(end);
        end += directory_size(names.size());
    }
    std::size_t leaves = 0;
    for (const auto& [type, names] : tree) {
        for (const auto& [name, languages] : names) {
            directory_at[&languages] = static_cast<std::uint32_t>(end);
            end += directory_size(languages.size());
            leaves += languages.size();
        }
    }
    const std::size_t entries_at = end;
    end += 16 * leaves;
    std::map<std::u16string, std::uint32_t> string_at;
    auto add_string = [&](const ResourceKey& key) {
        if (key.named && string_at.emplace(key.name, static_cast<std::uint32_t>(end)).second) {
            end += 2 + 2 * key.name.size();
        }
    };
    for (const auto& [type, names] : tree) {
        add_string(type);
        for (const auto& [name, languages] : names) {
            add_string(name);
            for (const auto& language : languages) add_string(language.first);
        }
    }

    std::vector<std::uint8_t> out(end, 0);
    auto write_directory = [&](std::size_t at, const auto& children, auto target_of) {
        std::size_t named = 0;
        for (const auto& child : children) named += child.first.named ? 1 : 0;
        Put16(out, at + 12, static_cast<std::uint32_t>(named));
        Put16(out, at + 14, static_cast<std::uint32_t>(children.size() - named));
        std::size_t entry = at + 16;
        for (const auto& child : children) {
            Put32(out, entry,
                  child.first.named ? (kHighBit | string_at[child.first.name]) : child.first.id);
            Put32(out, entry + 4, target_of(child.second));
            entry += 8;
        }
    };
    auto subdirectory = [&](const auto& children) { return kHighBit | directory_at[&children]; };
    write_directory(0, tree, subdirectory);
    std::size_t next_entry = entries_at;
    std::vector<const ResourceData*> data_order;
    for (const auto& [type, names] : tree) {
        write_directory(directory_at[&names], names, subdirectory);
        for (const auto& [name, languages] : names) {
            write_directory(directory_at[&languages], languages, [&](const ResourceData& data) {
                data_order.push_back(&data);
                const std::uint32_t at = static_cast<std::uint32_t>(next_entry);
                next_entry += 16;
                return at;
            });
        }
    }
    for (const auto& [text, at] : string_at) {
        Put16(out, at, static_cast<std::uint32_t>(text.size()));
        for (std::size_t k = 0; k < text.size(); ++k) Put16(out, at + 2 + 2 * k, text[k]);
    }
    for (std::size_t i = 0; i < data_order.size(); ++i) {
        PadTo(out, 8);
        const std::size_t entry = entries_at + 16 * i;
        Put32(out, entry, section_rva + static_cast<std::uint32_t>(out.size()));
        Put32(out, entry + 4, static_cast<std::uint32_t>(data_order[i]->bytes.size()));
        Put32(out, entry + 8, data_order[i]->code_page);
        out.insert(out.end(), data_order[i]->bytes.begin(), data_order[i]->bytes.end());
    }
    return out;
}
