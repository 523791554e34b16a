#pragma once

#include <jni.h>

#include <cstdarg>
#include <cstdio>

/// The JNI 1.1 initialisation record (version 0x00010001) that JNI_GetDefaultJavaVMInitArgs
/// fills with the VM's default Java thread stack size. Current jni.h headers no longer
/// declare it, so its published layout is repeated here.
struct Jdk11InitArgs {
    jint version;
    char** properties;
    jint checkSource;
    jint nativeStackSize;
    jint javaStackSize;
    jint minHeapSize;
    jint maxHeapSize;
    jint verifyMode;
    char* classpath;
    jint(JNICALL* vfprintf)(FILE* fp, const char* format, va_list args);
    void(JNICALL* exit)(jint code);
    void(JNICALL* abort)(void);
    jint enableClassGC;
    jint enableVerboseGC;
    jint disableAsyncGC;
    jint verbose;
    jboolean debugging;
    jint debugPort;
};

inline constexpr jint kJniVersion11 = 0x00010001;
