#pragma once

#include <deque>
#include <optional>
#include <string>

#include "discovery/missing_runtime_dialog_win32.h"

/// Answers each Browse press with the next prepared folder; once they are used up it acts
/// as a cancelled picker. "-" in the list is a cancelled pick.
class ScriptedFolderPicker final : public FolderPicker {
  public:
    explicit ScriptedFolderPicker(std::deque<std::wstring> folders)
        : folders_(std::move(folders)) {}
    std::optional<std::wstring> PickFolder(HWND, const std::wstring&) override {
        if (folders_.empty()) return std::nullopt;
        std::wstring next = folders_.front();
        folders_.pop_front();
        if (next == L"-") return std::nullopt;
        return next;
    }

  private:
    std::deque<std::wstring> folders_;
};
