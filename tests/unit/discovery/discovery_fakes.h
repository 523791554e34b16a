#pragma once

#include "discovery/runtime_sources.h"

#include <cstdint>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// In-memory registry and file system for the runtime search.
class FakeRegistry : public RegistryAccess {
  public:
    /// Registers subkey `name` under `root` with a "JavaHome" value (nullptr: no value).
    void Add(RegistryView view, const std::wstring& root, const std::wstring& name,
             const wchar_t* javaHome) {
        subkeys_[{view, root}].push_back(name);
        if (javaHome) values_[{view, root + name, L"JavaHome"}] = javaHome;
    }
    /// Creates `key` (no trailing backslash) and its parents, as the installers do.
    void AddKey(RegistryView view, const std::wstring& key) {
        const std::size_t slash = key.rfind(L'\\');
        if (slash == std::wstring::npos) return;
        const std::wstring parent = key.substr(0, slash + 1);
        auto& names = subkeys_[{view, parent}];
        const std::wstring name = key.substr(slash + 1);
        for (const std::wstring& existing : names) {
            if (existing == name) return;
        }
        names.push_back(name);
        AddKey(view, key.substr(0, slash));
    }
    /// A text value; a key made with AddKey.
    void SetText(RegistryView view, const std::wstring& key, const std::wstring& name,
                 const std::wstring& text) {
        AddKey(view, key);
        values_[{view, key, name}] = text;
    }
    std::vector<std::wstring> SubkeyNames(const std::wstring& path, RegistryView view) override {
        listed.push_back({view, path});
        auto it = subkeys_.find({view, path});
        return it == subkeys_.end() ? std::vector<std::wstring>{} : it->second;
    }
    bool ReadText(const std::wstring& path, const std::wstring& name, RegistryView view,
                  std::wstring& text) override {
        auto it = values_.find({view, path, name});
        if (it == values_.end()) return false;
        text = it->second;
        return true;
    }
    std::vector<std::pair<RegistryView, std::wstring>> listed;

  private:
    std::map<std::pair<RegistryView, std::wstring>, std::vector<std::wstring>> subkeys_;
    std::map<std::tuple<RegistryView, std::wstring, std::wstring>, std::wstring> values_;
};

class FakeFiles : public FileProbe {
  public:
    void Add(const std::wstring& path) { files_.insert(path); }
    /// A runtime folder (ending in a backslash) with the given VM library folders ("client",
    /// "server", ...) and, optionally, the bin\java.dll marker.
    void AddRuntime(const std::wstring& folder, std::initializer_list<const wchar_t*> vms,
                    bool marker = true, std::optional<std::uint16_t> machine = 0x8664) {
        if (marker) Add(folder + L"bin\\java.dll");
        for (const wchar_t* vm : vms) {
            const std::wstring library = folder + L"bin\\" + vm + L"\\jvm.dll";
            Add(library);
            if (machine) machines_[library] = *machine;
        }
    }
    /// A "release" file in `folder`.
    void AddRelease(const std::wstring& folder, const std::string& text) {
        Add(folder + L"release");
        contents_[folder + L"release"] = text;
    }
    bool Exists(const std::wstring& path) override {
        probed.push_back(path);
        return files_.count(path) != 0;
    }
    bool FolderExists(const std::wstring& folder) override {
        auto it = files_.lower_bound(folder);
        return it != files_.end() && it->compare(0, folder.size(), folder) == 0;
    }
    bool ReadSmallFile(const std::wstring& path, std::string& bytes) override {
        auto it = contents_.find(path);
        if (it == contents_.end()) return false;
        bytes = it->second;
        return true;
    }
    std::optional<std::uint16_t> ImageMachine(const std::wstring& path) override {
        auto it = machines_.find(path);
        if (it == machines_.end()) return std::nullopt;
        return it->second;
    }
    std::vector<std::wstring> probed;

  private:
    std::set<std::wstring> files_;
    std::map<std::wstring, std::string> contents_;
    std::map<std::wstring, std::uint16_t> machines_;
};

class RecordingLog : public DecisionLog {
  public:
    void Record(Decision decision) override { decisions.push_back(std::move(decision)); }
    /// Decisions of kind `what`, as "field=value,..." lines.
    std::vector<std::wstring> Lines(const std::string& what) const {
        std::vector<std::wstring> lines;
        for (const Decision& d : decisions) {
            if (d.what != what) continue;
            std::wstring line;
            for (const auto& [field, value] : d.fields) {
                if (!line.empty()) line += L',';
                line += std::wstring(field.begin(), field.end()) + L'=' + value;
            }
            lines.push_back(line);
        }
        return lines;
    }
    std::vector<Decision> decisions;
};
