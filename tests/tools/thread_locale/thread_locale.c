/* Native half of parity.Main.threadLocale(): the calling thread's locale (GetThreadLocale),
 * as JNI code using the thread locale or CP_THREAD_ACP sees it. No jni.h is needed for one
 * int-returning static method. */
#include <windows.h>

__declspec(dllexport) int __stdcall Java_parity_Main_threadLocale(void* env, void* type) {
    (void)env;
    (void)type;
    return (int)GetThreadLocale();
}
