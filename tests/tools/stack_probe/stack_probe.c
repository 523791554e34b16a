/* A JNI library for the parity tests: the stack a thread has reserved, as Windows gives it.
 * HotSpot gives every thread started without -Xss the executable's stack reserve, so the
 * figure shows the launcher's PE header as a Java program meets it. */
#include <windows.h>

#include <jni.h>

JNIEXPORT jlong JNICALL Java_parity_Main_stackReserve(JNIEnv* env, jclass type) {
    ULONG_PTR low = 0;
    ULONG_PTR high = 0;
    GetCurrentThreadStackLimits(&low, &high);
    return (jlong)(high - low);
}
