#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "options/class_path.h"

/// Lists the matches of a pattern with FindFirstFileW / FindNextFileW, in the file
/// system's order. Patterns of 260 or more characters are searched in the long-path form.
class Win32DirectoryLister : public DirectoryLister {
  public:
    void List(const std::wstring& pattern,
              const std::function<void(std::wstring_view name)>& onMatch) override;
};
