#pragma once

#include <jni.h>

#include <string>
#include <string_view>
#include <vector>

/// A java.lang.String built from UTF-16 code units (never through modified UTF-8, so every
/// character arrives unchanged); a local reference, or null on any failure.
jstring NewJavaString(JNIEnv* env, std::wstring_view text);

/// A java.lang.String[] of the texts, in order (empty list: empty array); a local
/// reference, or null on any failure (nothing is left behind).
jobjectArray NewJavaStringArray(JNIEnv* env, const std::vector<std::wstring>& texts);
