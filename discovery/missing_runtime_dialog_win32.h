#pragma once

#include <windows.h>

#include "core/seen_runtime.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Launcher;

/// The page the missing-runtime dialog links to: the OpenJDK project's own list of
/// builds, which names no single vendor.
inline constexpr wchar_t kJavaDownloadPage[] = L"https://openjdk.org/install/";

/// Asks the user for a folder. The shell's picker in the launcher; test programs put in
/// their own through Launcher::RuntimeFolderPicker.
class FolderPicker {
  public:
    virtual ~FolderPicker() = default;
    /// The picked folder's path, or nothing when the user cancels.
    virtual std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& title) = 0;
};

/// SHBrowseForFolderW: file-system folders only, new dialog style, no New Folder button.
class ShellFolderPicker final : public FolderPicker {
  public:
    std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& title) override;
};

/// Shows the missing-runtime dialog with `message` and lets the user pick a runtime folder
/// that holds a VM library for the launcher's JVM type. True on OK, with the folder (ending
/// in a backslash) and its VM library; false when the user cancels or closes it. "Details"
/// shows `report`, one line per runtime the search saw and why it was not taken.
bool RunMissingRuntimeDialog(Launcher& launcher, const std::wstring& message,
                             std::wstring& chosenFolder, std::wstring& chosenLibrary,
                             const std::vector<std::wstring>& report = {});

/// Runs the dialog modally owned by `owner` with the given picker. IDOK or IDCANCEL, -1 when
/// it cannot be shown. For RunMissingRuntimeDialog and test programs.
INT_PTR ShowMissingRuntimeDialog(HWND owner, Launcher& launcher, const std::wstring& message,
                                 FolderPicker& picker, std::wstring& chosenFolder,
                                 std::wstring& chosenLibrary,
                                 const std::vector<std::wstring>& report = {});

/// Grows the static text control `textId` downwards until `text` fits its width, moving the
/// controls below it and enlarging the frames around it and the dialog by as much. Returns
/// the growth in pixels (0 when the text already fits).
int GrowToFitText(HWND dialog, int textId, const std::wstring& text);

/// A rejection code (or "bundled") of the runtime report in the user interface language.
std::wstring RuntimeReportText(std::wstring_view code);

/// One line per runtime the search saw, in the user interface language.
std::vector<std::wstring> RuntimeReportLines(const std::vector<SeenRuntime>& seen);
