#pragma once

#include <windows.h>

#include <string>
#include <string_view>

class Launcher;

/// Shows a message box with the error icon and an OK button. `text` and `caption` are
/// string-table identifiers when `textId`/`captionId` are non-zero. Returns the message
/// box result, 0 when nothing could be shown.
int ReportError(HWND owner, const std::wstring& text, const std::wstring* caption = nullptr);
int ReportError(HWND owner, UINT textId, UINT captionId = 0);

/// Template 202 with the description `descriptionId` and a Windows error number.
std::wstring WindowsErrorMessage(UINT descriptionId, DWORD error);
/// Template 203 with description 213 and the reason text for a JNI_CreateJavaVM result.
std::wstring JniErrorMessage(int result);
/// String id of the reason text for a JNI result code, 0 when the code has none.
UINT JniReasonTextId(int result);

/// Writes `text` and a line end to standard error: UTF-16 to a console, else the console's
/// output code page (the ANSI code page without a console), so a pipe read in this console
/// shows it right. Nothing when there is no standard error.
void WriteStandardError(std::wstring_view text);

// The launcher's own failures go through these: a message box owned by the launcher's
// OwnerWindow, standard error in the console build, or, in a dry run, a decision in the
// attached log instead.
int ReportLaunchError(const Launcher& launcher, const std::wstring& text);
int ReportLaunchError(const Launcher& launcher, UINT textId);
int ReportLaunchFormattedError(const Launcher& launcher, UINT templateId,
                               std::wstring_view argument);
/// Template 202 with `descriptionId` and `error` (callers read GetLastError at the failure,
/// before any text is loaded, so that loading cannot change it).
int ReportLaunchWindowsError(const Launcher& launcher, UINT descriptionId, DWORD error);
