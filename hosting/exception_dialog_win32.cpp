#include "hosting/exception_dialog_win32.h"

#include <array>
#include <cstring>

#include "core/launcher_win32.h"
#include "core/resources_win32.h"
#include "core/scope_exit.h"
#include "hosting/center_window_win32.h"
#include "hosting/dialog_resizer_win32.h"
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
            ::SendDlgItemMessageW(dialog, IDC_ERROR_ICON, STM_SETICON,
                                  reinterpret_cast<WPARAM>(::LoadIconW(nullptr, IDI_ERROR)), 0);
            // Long traces must not be cut at the edit control's default limit.
            ::SendDlgItemMessageW(dialog, IDC_TRACE_EDIT, EM_SETLIMITTEXT, 0, 0);
            ::SetDlgItemTextW(dialog, IDC_TRACE_EDIT, WithCrLf(state->trace).c_str());
            ::SendDlgItemMessageW(dialog, IDC_TRACE_EDIT, EM_SETREADONLY, TRUE, 0);
            CenterWindow(dialog);
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
        default:
            return FALSE;
    }
}

// Describes (prints and clears) whatever a JNI call left pending.
void DescribePending(JNIEnv* env) {
    if (env->ExceptionOccurred()) env->ExceptionDescribe();
}

}  // namespace

INT_PTR ShowExceptionDialog(HWND owner, const std::wstring& trace) {
    const DLGTEMPLATE* resource = LoadLocalizedDialog(IDD_UNCAUGHT_EXCEPTION);
    if (!resource) return -1;
    ExceptionDialog dialog{trace, {}};
    return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), resource, owner,
                                     ExceptionDialogProc, reinterpret_cast<LPARAM>(&dialog));
}

std::wstring CaptureStackTrace(Launcher& launcher, jthrowable exception, JNIEnv* env) {
    if (!env || !exception) return {};
    // JNI allows no calls but the exception functions while an exception is pending: set it
    // aside for the capture and raise it again afterwards, so that the caller still finds it
    // pending (and the VM reports it when the thread detaches).
    jthrowable pending = env->ExceptionOccurred();
    if (pending) env->ExceptionClear();
    auto restore = MakeScopeExit([&] {
        DescribePending(env);
        if (pending) env->Throw(pending);
    });
    jclass bytesClass = env->FindClass("java/io/ByteArrayOutputStream");
    if (!bytesClass) return {};
    jmethodID bytesInit = env->GetMethodID(bytesClass, "<init>", "()V");
    if (!bytesInit) return {};
    jobject bytes = env->NewObject(bytesClass, bytesInit);
    if (!bytes) return {};

    jclass printClass = env->FindClass("java/io/PrintStream");
    if (!printClass) return {};
    jmethodID printInit = env->GetMethodID(printClass, "<init>", "(Ljava/io/OutputStream;)V");
    if (!printInit) return {};
    jobject print = env->NewObject(printClass, printInit, bytes);
    if (!print) return {};

    jclass exceptionClass = env->GetObjectClass(exception);
    if (!exceptionClass) return {};
    jmethodID printStackTrace =
        env->GetMethodID(exceptionClass, "printStackTrace", "(Ljava/io/PrintStream;)V");
    if (!printStackTrace) return {};
    env->CallVoidMethod(exception, printStackTrace, print);
    DescribePending(env);

    jclass bytesObjectClass = env->GetObjectClass(bytes);
    if (!bytesObjectClass) return {};
    jmethodID toString = env->GetMethodID(bytesObjectClass, "toString", "()Ljava/lang/String;");
    if (!toString) return {};
    auto text = static_cast<jstring>(env->CallObjectMethod(bytes, toString));
    DescribePending(env);
    if (!text) return {};

    const char* utf = env->GetStringUTFChars(text, nullptr);
    if (!utf) return {};
    // The VM hands out modified UTF-8, not the ANSI code page.
    std::u16string units = DecodeModifiedUtf8(std::string_view(utf, std::strlen(utf)));
    env->ReleaseStringUTFChars(text, utf);
    NoteDecision(launcher.Decisions, "hosting", "stack-trace",
                 {{"length", std::to_wstring(units.size())}});
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

bool CallSystemExit(JNIEnv* env) {
    // The uncaught exception that led here has been reported; it must not be pending while
    // System.exit is called.
    if (env->ExceptionOccurred()) env->ExceptionClear();
    jclass system = env->FindClass("java/lang/System");
    if (!system) return false;
    jmethodID exit = env->GetStaticMethodID(system, "exit", "(I)V");
    if (!exit) return false;
    env->CallStaticVoidMethod(system, exit, static_cast<jint>(-1));
    if (env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        return false;
    }
    return true;
}
