#pragma once

#include "discovery/runtime_sources.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// In-memory registry and file system for the runtime search.
class FakeRegistry : public RegistryAccess {
  public:
    /// Registers subkey `name` under `root` with a "JavaHome" value (nullptr: no value).
    void Add(RegistryView view, const std::wstring& root, const std::wstring& name,
             const wchar_t* javaHome) {
        subkeys_[{view, root}].push_back(name);
        if (javaHome) values_[{view, root + name}] = javaHome;
    }
    std::vector<std::wstring> SubkeyNames(const std::wstring& path, RegistryView view) override {
        listed.push_back({view, path});
        auto it = subkeys_.find({view, path});
        return it == subkeys_.end() ? std::vector<std::wstring>{} : it->second;
    }
    bool ReadText(const std::wstring& path, const std::wstring& name, RegistryView view,
                  std::wstring& text) override {
        if (name != L"JavaHome") return false;
        auto it = values_.find({view, path});
        if (it == values_.end()) return false;
        text = it->second;
        return true;
    }
    std::vector<std::pair<RegistryView, std::wstring>> listed;

  private:
    std::map<std::pair<RegistryView, std::wstring>, std::vector<std::wstring>> subkeys_;
    std::map<std::pair<RegistryView, std::wstring>, std::wstring> values_;
};

class FakeFiles : public FileProbe {
  public:
    void Add(const std::wstring& path) { files_.insert(path); }
    /// A runtime folder (ending in a backslash) with the given VM library folders ("client",
    /// "server", ...) and, optionally, the bin\java.dll marker.
    void AddRuntime(const std::wstring& folder, std::initializer_list<const wchar_t*> vms,
                    bool marker = true) {
        if (marker) Add(folder + L"bin\\java.dll");
        for (const wchar_t* vm : vms) Add(folder + L"bin\\" + vm + L"\\jvm.dll");
    }
    bool Exists(const std::wstring& path) override {
        probed.push_back(path);
        return files_.count(path) != 0;
    }
    std::vector<std::wstring> probed;

  private:
    std::set<std::wstring> files_;
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
