/* Machine-dependent JNI declarations for the targets vmboot builds for: the JNI calling
   convention is __stdcall on 32-bit Windows (and the only one on x64); integer widths
   follow the JNI standard. Read by the JDK's jni.h. */
#ifndef VMBOOT_JNI_MD_H
#define VMBOOT_JNI_MD_H

#if defined(_WIN32)
#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall
#else
#define JNIEXPORT __attribute__((visibility("default")))
#define JNIIMPORT
#define JNICALL
#endif

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
