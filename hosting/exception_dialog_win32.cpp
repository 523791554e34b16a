#include "hosting/exception_dialog_win32.h"

#include <array>
#include <cstring>

#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/resources_win32.h"
#include "core/scope_exit.h"
#include "ui/center_window_win32.h"
#include "ui/dialog_resizer_win32.h"
#include "ui/dpi_win32.h"
#include "hosting/local_ref.h"
#include "hosting/modified_utf8.h"
#include "resources/resource_ids.h"

namespace {

// Laid out in this order: the frame first, the buttons last.
constexpr std::array<DialogResizer::Anchor, 7> kExceptionAnchors{{
    {IDC_EXCEPTION_GROUP, kAnchorSizeX | kAnchorSizeY},
    {IDC_EXCEPTION_INTRO, kAnchorSizeX},
    {IDC_EXCEPTION_WARNING, kAnchorSizeX | kAnchorMoveY},
    {IDC_EXCEPTION_HINT, kAnchorSizeX | kAnchorMoveY},
    {IDC_TRACE_EDIT, kAnchorSizeX | kAnchorSizeY},
    {IDOK, kAnchorMoveX | kAnchorMoveY},
    {IDCANCEL, kAnchorMoveX | kAnchorMoveY},
}};

struct ExceptionDialog {
    std::wstring trace;
    DialogResizer resizer;
    DialogDpi dpi;
};

// A multi-line edit breaks lines only at CR LF; traces printed with a bare LF would show as
// one long line.
std::wstring WithCrLf(const std::wstring& text) {
    std::wstring result;
    result.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) result += L'\r';
        result += text[i];
    }
    return result;
}

INT_PTR CALLBACK ExceptionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<ExceptionDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            state = reinterpret_cast<ExceptionDialog*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            state->dpi.Initialize(dialog, IDC_ERROR_ICON);
            // Long traces must not be cut at the edit control's default limit.
            ::SendDlgItemMessageW(dialog, IDC_TRACE_EDIT, EM_SETLIMITTEXT, 0, 0);
            ::SetDlgItemTextW(dialog, IDC_TRACE_EDIT, WithCrLf(state->trace).c_str());
            ::SendDlgItemMessageW(dialog, IDC_TRACE_EDIT, EM_SETREADONLY, TRUE, 0);
            CenterWindow(dialog);
            // The resizer records the sizes of the DPI the dialog shows at.
            state->dpi.MatchMonitor(dialog);
            state->resizer.Initialize(dialog, kExceptionAnchors);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_GETMINMAXINFO:
            return state && state->resizer.OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
        case WM_SIZE:
            if (!state) return FALSE;
            state->resizer.OnSize(wParam, LOWORD(lParam), HIWORD(lParam));
            return TRUE;
        case WM_DPICHANGED: {
            if (!state) return FALSE;
            const UINT newDpi = HIWORD(wParam);
            state->resizer.Rescale(newDpi, state->dpi.Dpi());
            state->dpi.Rescale(dialog, newDpi, *reinterpret_cast<const RECT*>(lParam));
            return TRUE;
        }
        default:
            return FALSE;
    }
}

// Describes (prints and clears) whatever a JNI call left pending.
void DescribePending(JNIEnv* env) {
    if (HasPendingException(env)) env->ExceptionDescribe();
}

}  // namespace

INT_PTR ShowExceptionDialog(HWND owner, const std::wstring& trace) {
    const DLGTEMPLATE* resource = LoadLocalizedDialog(IDD_UNCAUGHT_EXCEPTION);
    if (!resource) return -1;
    ExceptionDialog dialog{trace, {}, {}};
    return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), resource, owner,
                                     ExceptionDialogProc, reinterpret_cast<LPARAM>(&dialog));
}

std::wstring CaptureStackTrace(Launcher& launcher, jthrowable exception, JNIEnv* env) {
    if (!env || !exception) return {};
    // JNI allows no calls but the exception functions while an exception is pending: set it
    // aside for the capture and raise it again afterwards, so that the caller still finds it
    // pending (and the VM reports it when the thread detaches).
    // Every reference below is released when the capture ends: the thread goes on to run
    // (or park after) main and would otherwise hold them for the whole session.
    LocalRef<jthrowable> pending(env, env->ExceptionOccurred());
    if (pending) env->ExceptionClear();
    auto restore = MakeScopeExit([&] {
        DescribePending(env);
        if (pending) env->Throw(pending.get());
    });
    LocalRef<jclass> bytesClass(env, env->FindClass("java/io/ByteArrayOutputStream"));
    if (!bytesClass) return {};
    jmethodID bytesInit = env->GetMethodID(bytesClass.get(), "<init>", "()V");
    if (!bytesInit) return {};
    LocalRef<jobject> bytes(env, env->NewObject(bytesClass.get(), bytesInit));
    if (!bytes) return {};

    LocalRef<jclass> printClass(env, env->FindClass("java/io/PrintStream"));
    if (!printClass) return {};
    jmethodID printInit = env->GetMethodID(printClass.get(), "<init>", "(Ljava/io/OutputStream;)V");
    if (!printInit) return {};
    LocalRef<jobject> print(env, env->NewObject(printClass.get(), printInit, bytes.get()));
    if (!print) return {};

    LocalRef<jclass> exceptionClass(env, env->GetObjectClass(exception));
    if (!exceptionClass) return {};
    jmethodID printStackTrace =
        env->GetMethodID(exceptionClass.get(), "printStackTrace", "(Ljava/io/PrintStream;)V");
    if (!printStackTrace) return {};
    env->CallVoidMethod(exception, printStackTrace, print.get());
    DescribePending(env);

    LocalRef<jclass> bytesObjectClass(env, env->GetObjectClass(bytes.get()));
    if (!bytesObjectClass) return {};
    jmethodID toString =
        env->GetMethodID(bytesObjectClass.get(), "toString", "()Ljava/lang/String;");
    if (!toString) return {};
    LocalRef<jstring> text(
        env, static_cast<jstring>(env->CallObjectMethod(bytes.get(), toString)));
    DescribePending(env);
    if (!text) return {};

    const char* utf = env->GetStringUTFChars(text.get(), nullptr);
    if (!utf) return {};
    // The VM hands out modified UTF-8, not the ANSI code page.
    std::u16string units = DecodeModifiedUtf8(std::string_view(utf, std::strlen(utf)));
    env->ReleaseStringUTFChars(text.get(), utf);
    NoteDecision(launcher.Decisions, "hosting", "stack-trace",
                 {{"length", DecimalText(units.size())}});
    return std::wstring(units.begin(), units.end());
}

bool ReportUncaughtException(Launcher& launcher, jthrowable exception, JNIEnv* env) {
    std::wstring trace = CaptureStackTrace(launcher, exception, env);
    NoteDecision(launcher.Decisions, "hosting", "uncaught-exception",
                 {{"trace", trace}, {"dialog", trace.empty() ? L"no" : L"yes"}});
    if (trace.empty() || launcher.DryRun) return false;
    INT_PTR result = ShowExceptionDialog(::GetActiveWindow(), trace);
    return result != IDOK;
}

bool CallSystemExit(JNIEnv* env, jint status) {
    // The uncaught exception that led here has been reported; it must not be pending while
    // System.exit is called.
    if (HasPendingException(env)) env->ExceptionClear();
    LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
    if (!system) return false;
    jmethodID exit = env->GetStaticMethodID(system.get(), "exit", "(I)V");
    if (!exit) return false;
    env->CallStaticVoidMethod(system.get(), exit, status);
    if (HasPendingException(env)) {
        env->ExceptionDescribe();
        return false;
    }
    return true;
}
