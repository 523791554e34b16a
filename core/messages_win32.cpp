#include "core/messages_win32.h"

#include <new>

#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/resources_win32.h"
#include "resources/resource_ids.h"

int ReportError(HWND owner, const std::wstring& text, const std::wstring* caption) {
    return ::MessageBoxW(owner, text.c_str(), caption ? caption->c_str() : nullptr,
                         MB_ICONERROR | MB_OK);
}

// A text that cannot be allocated shows nothing: 0, as MessageBoxW reports a failure.
int ReportError(HWND owner, UINT textId, UINT captionId) {
    try {
        std::wstring text = LoadResourceText(textId);
        if (captionId == 0) return ReportError(owner, text);
        std::wstring caption = LoadResourceText(captionId);
        return ReportError(owner, text, &caption);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

std::wstring WindowsErrorMessage(UINT descriptionId, DWORD error) {
    std::wstring description = LoadResourceText(descriptionId);
    return FormatTemplate(LoadResourceText(IDS_WINDOWS_ERROR),
                          {std::wstring_view(description),
                           static_cast<std::int64_t>(static_cast<std::int32_t>(error))});
}

UINT JniReasonTextId(int result) {
    if (result >= -6 && result <= -1) return static_cast<UINT>(IDS_JNI_REASON_ERR - 1 - result);
    return 0;
}

std::wstring JniErrorMessage(int result) {
    std::wstring description = LoadResourceText(IDS_CREATE_VM_FAILED);
    UINT reasonId = JniReasonTextId(result);
    std::wstring reason = reasonId ? LoadResourceText(reasonId) : std::wstring();
    return FormatTemplate(LoadResourceText(IDS_JNI_ERROR),
                          {std::wstring_view(description), std::wstring_view(reason)});
}

void WriteStandardError(std::wstring_view text) {
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    std::wstring line(text);
    while (!line.empty() && line.back() == L'\n') line.pop_back();
    DWORD written = 0;
    DWORD mode = 0;
    if (::GetConsoleMode(error, &mode)) {
        line += L"\n";
        ::WriteConsoleW(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    // Files and pipes get Windows line ends, as the VM writes them.
    std::wstring crlf;
    for (wchar_t c : line) {
        if (c == L'\n') crlf += L'\r';
        crlf += c;
    }
    crlf += L"\r\n";
    UINT codePage = ::GetConsoleOutputCP();
    if (codePage == 0) codePage = ::GetACP();
    int size = ::WideCharToMultiByte(codePage, 0, crlf.data(), static_cast<int>(crlf.size()),
                                     nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, crlf.data(), static_cast<int>(crlf.size()), bytes.data(),
                          size, nullptr, nullptr);
    ::WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int ReportLaunchError(const Launcher& launcher, const std::wstring& text) {
    if (launcher.DryRun) {
        NoteDecision(launcher.Decisions, "launch", "message", {{"text", text}});
        return IDOK;
    }
    if (launcher.Console) {
        WriteStandardError(text);
        return IDOK;
    }
    return ReportError(launcher.OwnerWindow.load(), text);
}

int ReportLaunchError(const Launcher& launcher, UINT textId) {
    if (launcher.DryRun) {
        NoteDecision(launcher.Decisions, "launch", "message",
                     {{"id", DecimalText(textId)}, {"text", LoadResourceText(textId)}});
        return IDOK;
    }
    if (launcher.Console) return ReportLaunchError(launcher, LoadResourceText(textId));
    return ReportError(launcher.OwnerWindow.load(), textId);
}

int ReportLaunchFormattedError(const Launcher& launcher, UINT templateId,
                               std::wstring_view argument) {
    return ReportLaunchError(launcher, FormatTemplate(LoadResourceText(templateId), {argument}));
}

int ReportLaunchWindowsError(const Launcher& launcher, UINT descriptionId, DWORD error) {
    return ReportLaunchError(launcher, WindowsErrorMessage(descriptionId, error));
}
