#include "discovery/missing_runtime_dialog_win32.h"

#include <shlobj.h>

#include "core/launcher_win32.h"
#include "core/messages_win32.h"
#include "core/system_library_win32.h"
#include "core/resources_win32.h"
#include "core/format.h"
#include "discovery/runtime_report.h"
#include "ui/hyperlink_label_win32.h"
#include "discovery/runtime_sources.h"
#include "discovery/runtime_sources_win32.h"
#include "discovery/vendor_runtimes.h"
#include "discovery/version_win32.h"
#include "ui/center_window_win32.h"
#include "ui/dialog_layout.h"
#include "ui/dpi_win32.h"
#include "resources/resource_ids.h"

namespace {

// The picker's flags: file-system folders only, new dialog style, no New Folder button.
constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
static_assert(kBrowseFlags == 0x241);

struct MissingRuntimeDialog {
    const std::wstring& message;
    RuntimeSearchCriteria criteria;
    bool hasPairProduct;
    FolderPicker& picker;
    DecisionLog* decisions;
    const std::vector<std::wstring>& report;
    std::wstring chosenFolder;
    std::wstring chosenLibrary;
    std::wstring hint;  ///< the browse hint as loaded; it shows why a pick was refused
    DialogDpi dpi;      ///< before the link: the link borrows the font it owns
    HyperlinkLabel link;
    int detailsGrowth = 0;  ///< pixels the dialog grew to show the report; 0 while hidden
};

std::wstring WithTrailingBackslash(std::wstring folder) {
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::wstring ControlText(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Why OK stays disabled for a picked folder, in words.
std::wstring RefusalText(const CheckedFolder& checked, const RuntimeSearchCriteria& criteria) {
    if (checked.version && (checked.reason == RuntimeRejection::BelowMinimumVersion ||
                            checked.reason == RuntimeRejection::AboveMaximumVersion)) {
        const std::wstring found = JavaVersionName(*checked.version);
        const std::wstring needed =
            DescribeVersionRequirement(criteria.MinimumVersion, criteria.MaximumVersion);
        return FormatTemplate(LoadResourceText(IDS_DIALOG_VERSION_REFUSED),
                              {std::wstring_view(found), std::wstring_view(needed)});
    }
    const std::wstring reason = RuntimeReportText(RejectionCode(checked.reason));
    return FormatTemplate(LoadResourceText(IDS_DIALOG_FOLDER_REFUSED), {std::wstring_view(reason)});
}

void BrowseForRuntime(HWND dialog, MissingRuntimeDialog& state) {
    std::optional<std::wstring> picked =
        state.picker.PickFolder(dialog, LoadResourceText(IDS_BROWSE_FOR_JRE));
    if (!picked) return;
    ::SetDlgItemTextW(dialog, IDC_JRE_PATH_EDIT, picked->c_str());
    // The same checks the next start makes of the remembered folder: a runtime outside the
    // version range or of the wrong kind would fail now and be passed over then. A "bin"
    // folder or a Java 8 kit's root stands for the runtime in it.
    Win32FileProbe files;
    SeenRuntime seen;
    CheckedFolder checked = CheckRuntimeFolder(files, WithTrailingBackslash(*picked),
                                               state.criteria, state.hasPairProduct, seen);
    state.chosenFolder = checked.folder;
    state.chosenLibrary = checked.accepted ? checked.library.path : std::wstring();
    if (state.hint.empty()) state.hint = ControlText(dialog, IDC_BROWSE_HINT);
    const std::wstring hint = checked.accepted ? state.hint : RefusalText(checked, state.criteria);
    ::SetDlgItemTextW(dialog, IDC_BROWSE_HINT, hint.c_str());
    NoteDecision(state.decisions, "discovery", "dialog-folder",
                 {{"folder", state.chosenFolder},
                  {"library", state.chosenLibrary},
                  {"rejected", RejectionCode(checked.reason)}});
    ::EnableWindow(::GetDlgItem(dialog, IDOK), !state.chosenLibrary.empty());
}

RECT ClientRectOf(HWND dialog, HWND control);

// Shows or hides the list of the runtimes seen below the buttons, growing or shrinking the
// dialog by as much.
void ToggleDetails(HWND dialog, MissingRuntimeDialog& state) {
    HWND list = ::GetDlgItem(dialog, IDC_DETAILS_LIST);
    if (!list) return;
    int growth = -state.detailsGrowth;
    if (state.detailsGrowth == 0) {
        RECT margin{0, 0, 7, 7};
        ::MapDialogRect(dialog, &margin);
        RECT client{};
        ::GetClientRect(dialog, &client);
        growth = ClientRectOf(dialog, list).bottom + state.dpi.FromCreation(margin.bottom) -
                 client.bottom;
        state.detailsGrowth = growth;
        ::ShowWindow(list, SW_SHOW);
    } else {
        state.detailsGrowth = 0;
        ::ShowWindow(list, SW_HIDE);
    }
    RECT window{};
    ::GetWindowRect(dialog, &window);
    ::SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left,
                   window.bottom - window.top + growth, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK MissingRuntimeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<MissingRuntimeDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            state = reinterpret_cast<MissingRuntimeDialog*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            state->dpi.Initialize(dialog, IDC_ERROR_ICON);
            HWND link = ::GetDlgItem(dialog, IDC_DOWNLOAD_LINK);
            ::SetWindowTextW(link, kJavaDownloadPage);
            auto font = reinterpret_cast<HFONT>(::SendMessageW(link, WM_GETFONT, 0, 0));
            state->link.Attach(link, kJavaDownloadPage, font);
            ::SetDlgItemTextW(dialog, IDC_MISSING_MESSAGE, state->message.c_str());
            // Version requirements and translations vary in length: give the message room.
            GrowToFitText(dialog, IDC_MISSING_MESSAGE, state->message);
            ::EnableWindow(::GetDlgItem(dialog, IDOK), FALSE);
            std::wstring report;
            for (const std::wstring& line : state->report) report += line + L"\r\n";
            ::SetDlgItemTextW(dialog, IDC_DETAILS_LIST, report.c_str());
            // Nothing was seen at all: there is nothing to explain.
            ::EnableWindow(::GetDlgItem(dialog, IDC_DETAILS_BUTTON), !state->report.empty());
            CenterWindow(dialog);
            state->dpi.MatchMonitor(dialog);
            ::SetFocus(::GetDlgItem(dialog, IDC_BROWSE));
            return FALSE;  // the focus is set
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    ::EndDialog(dialog, LOWORD(wParam));
                    return TRUE;
                case IDC_BROWSE:
                    if (state) BrowseForRuntime(dialog, *state);
                    return TRUE;
                case IDC_DETAILS_BUTTON:
                    if (state) ToggleDetails(dialog, *state);
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_DPICHANGED:
            if (!state) return FALSE;
            // The list shown below the buttons grew the dialog by pixels of the old DPI.
            state->detailsGrowth =
                ScaleForDpi(state->detailsGrowth, HIWORD(wParam), state->dpi.Dpi());
            state->dpi.Rescale(dialog, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return TRUE;
        default:
            return FALSE;
    }
}

RECT ClientRectOf(HWND dialog, HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace

std::optional<std::wstring> ShellFolderPicker::PickFolder(HWND owner, const std::wstring& title) {
    // The shell and COM are loaded only here, so that a normal start does not pay for them.
    using CoInitializeExFn = HRESULT(WINAPI*)(void*, DWORD);
    using CoUninitializeFn = void(WINAPI*)();
    using CoTaskMemFreeFn = void(WINAPI*)(void*);
    using BrowseFn = PIDLIST_ABSOLUTE(WINAPI*)(BROWSEINFOW*);
    using PathFn = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, wchar_t*);
    using PathExFn = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, wchar_t*, DWORD, GPFIDL_FLAGS);
    auto coInitializeEx = SystemFunction<CoInitializeExFn>(L"ole32.dll", "CoInitializeEx");
    auto coUninitialize = SystemFunction<CoUninitializeFn>(L"ole32.dll", "CoUninitialize");
    auto coTaskMemFree = SystemFunction<CoTaskMemFreeFn>(L"ole32.dll", "CoTaskMemFree");
    auto browseForFolder = SystemFunction<BrowseFn>(L"shell32.dll", "SHBrowseForFolderW");
    auto pathFromIdList = SystemFunction<PathFn>(L"shell32.dll", "SHGetPathFromIDListW");
    // Windows 7 and later only.
    auto pathFromIdListEx = SystemFunction<PathExFn>(L"shell32.dll", "SHGetPathFromIDListEx");
    if (!coInitializeEx || !coUninitialize || !coTaskMemFree || !browseForFolder ||
        !pathFromIdList) {
        return std::nullopt;
    }

    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = kBrowseFlags;
    // The new dialog style needs COM on this thread.
    HRESULT com = coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    std::optional<std::wstring> result;
    if (PIDLIST_ABSOLUTE picked = browseForFolder(&browse)) {
        std::wstring path;
        if (pathFromIdListEx) {
            // A folder deep in the file system does not fit MAX_PATH: grow until it does.
            for (DWORD size = MAX_PATH; size <= 32768 && path.empty(); size *= 2) {
                std::wstring buffer(size, L'\0');
                if (pathFromIdListEx(picked, buffer.data(), size, GPFIDL_DEFAULT)) {
                    buffer.resize(::lstrlenW(buffer.c_str()));
                    path = std::move(buffer);
                }
            }
        } else {
            // Before Windows 7 the shell has no longer form.
            std::wstring buffer(MAX_PATH, L'\0');
            if (pathFromIdList(picked, buffer.data())) {
                buffer.resize(::lstrlenW(buffer.c_str()));
                path = std::move(buffer);
            }
        }
        coTaskMemFree(picked);
        if (!path.empty()) result = std::move(path);
    }
    if (SUCCEEDED(com)) coUninitialize();
    return result;
}

int GrowToFitText(HWND dialog, int textId, const std::wstring& text) {
    HWND control = ::GetDlgItem(dialog, textId);
    if (!control) return 0;
    RECT bounds = ClientRectOf(dialog, control);
    RECT measured{0, 0, bounds.right - bounds.left, 0};
    {
        WindowDc dc(control);
        if (!dc) return 0;
        SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(
                                          ::SendMessageW(control, WM_GETFONT, 0, 0)));
        ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &measured,
                    DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    }
    const int growth = measured.bottom - (bounds.bottom - bounds.top);
    if (growth <= 0) return 0;

    for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        RECT r = ClientRectOf(dialog, child);
        if (child == control || (r.top <= bounds.top && r.bottom >= bounds.bottom)) {
            // The text itself and the frames around it grow.
            ::SetWindowPos(child, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + growth,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        } else if (r.top >= bounds.bottom) {
            ::SetWindowPos(child, nullptr, r.left, r.top + growth, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    RECT window{};
    ::GetWindowRect(dialog, &window);
    ::SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left,
                   window.bottom - window.top + growth, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return growth;
}

INT_PTR ShowMissingRuntimeDialog(HWND owner, Launcher& launcher, const std::wstring& message,
                                 FolderPicker& picker, std::wstring& chosenFolder,
                                 std::wstring& chosenLibrary,
                                 const std::vector<std::wstring>& report) {
    const DLGTEMPLATE* resource = LoadLocalizedDialog(IDD_MISSING_RUNTIME);
    if (!resource) return -1;
    RuntimeSearchCriteria criteria = launcher.Criteria;
    criteria.HostIs64Bit = sizeof(void*) == 8;
    MissingRuntimeDialog dialog{message,  criteria, !launcher.PairProduct.empty(),
                                picker,   launcher.Decisions, report, {}, {}, {}, {}, {}, 0};
    INT_PTR result =
        ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), resource, owner,
                                  MissingRuntimeDialogProc, reinterpret_cast<LPARAM>(&dialog));
    if (result == IDOK) {
        chosenFolder = dialog.chosenFolder;
        chosenLibrary = dialog.chosenLibrary;
    }
    return result;
}

bool RunMissingRuntimeDialog(Launcher& launcher, const std::wstring& message,
                             std::wstring& chosenFolder, std::wstring& chosenLibrary,
                             const std::vector<std::wstring>& report) {
    if (launcher.DryRun) return false;
    if (launcher.Console) {
        // Nobody at a console expects a window: the dialog's text and link, then what its
        // Details list would show, one runtime a line, and no choice.
        std::wstring text = message + L" " + kJavaDownloadPage;
        for (const std::wstring& line : report) text += L"\n" + line;
        ReportLaunchError(launcher, text);
        return false;
    }
    ShellFolderPicker shellPicker;
    FolderPicker& picker =
        launcher.RuntimeFolderPicker ? *launcher.RuntimeFolderPicker : shellPicker;
    return ShowMissingRuntimeDialog(::GetActiveWindow(), launcher, message, picker, chosenFolder,
                                    chosenLibrary, report) == IDOK;
}

std::wstring RuntimeReportText(std::wstring_view code) {
    struct Row {
        const wchar_t* code;
        UINT id;
    };
    static const Row kRows[] = {
        {L"below-minimum-version", IDS_REJECT_BELOW_MINIMUM},
        {L"above-maximum-version", IDS_REJECT_ABOVE_MAXIMUM},
        {L"wrong-kind", IDS_REJECT_WRONG_KIND},
        {L"provider-not-allowed", IDS_REJECT_PROVIDER},
        {L"no-vm-library", IDS_REJECT_NO_VM_LIBRARY},
        {L"other-processor-no-pair-product", IDS_REJECT_OTHER_PROCESSOR},
        {L"folder-missing", IDS_REJECT_FOLDER_MISSING},
        {L"damaged-vm-library", IDS_REJECT_DAMAGED_LIBRARY},
        {L"unsupported-processor", IDS_REJECT_UNSUPPORTED_PROCESSOR},
        {L"version-unknown", IDS_REJECT_VERSION_UNKNOWN},
        {kOriginBundled, IDS_RUNTIME_BUNDLED},
        {kOriginRemembered, IDS_RUNTIME_REMEMBERED},
    };
    for (const Row& row : kRows) {
        if (code == row.code) return LoadResourceText(row.id);
    }
    return std::wstring(code);
}

std::vector<std::wstring> RuntimeReportLines(const std::vector<SeenRuntime>& seen) {
    std::vector<std::wstring> lines;
    for (const SeenRuntime& runtime : seen) {
        lines.push_back(DescribeSeenRuntime(runtime, RuntimeReportText));
    }
    return lines;
}
